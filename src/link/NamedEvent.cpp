#include "NamedEvent.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <time.h>

namespace {
// Named semaphores live in one flat namespace whose names start with a single slash.
std::string SemaphoreName(const std::string& name)
{
    return name.starts_with('/') ? name : "/" + name;
}
} // namespace

CNamedEvent::~CNamedEvent()
{
    Close();
}

bool CNamedEvent::OpenWith(const std::string& name, int flags)
{
    Close();
    // Private to this user: another user's program could otherwise answer in the simulator's
    // place or swallow its answers.
    m_sem = sem_open(SemaphoreName(name).c_str(), flags, 0600, 0);
    if (m_sem == SEM_FAILED)
        return false;
    m_name = name;
    return true;
}

bool CNamedEvent::Open(const std::string& name)
{
    return OpenWith(name, O_CREAT);
}

bool CNamedEvent::Create(const std::string& name)
{
    Unlink(name);
    // Exclusive: an event that could not be removed (another user's) is not taken over.
    return OpenWith(name, O_CREAT | O_EXCL);
}

void CNamedEvent::Close()
{
    if (m_sem != SEM_FAILED)
        sem_close(m_sem);
    m_sem = SEM_FAILED;
    m_name.clear();
}

void CNamedEvent::Unlink(const std::string& name)
{
    sem_unlink(SemaphoreName(name).c_str());
}

// The other side of a handshake mostly answers within microseconds. Blocking at once lets this
// processor go idle, and waking an idle processor (a virtual one above all) costs far more than
// the answer itself; so the waiter first looks for the signal for a short while, giving way to
// any other runnable thread between looks.
bool CNamedEvent::SpinFor(int ms)
{
    constexpr long SpinNs = 50000;
    if (ms <= 0)
        return sem_trywait(m_sem) == 0;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (sem_trywait(m_sem) == 0)
            return true;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsed =
            (now.tv_sec - start.tv_sec) * 1000000000L + now.tv_nsec - start.tv_nsec;
        if (elapsed >= SpinNs)
            return false;
        sched_yield();
    }
}

bool CNamedEvent::Set()
{
    if (m_sem == SEM_FAILED)
        return false;
    int value = 0;
    if (sem_getvalue(m_sem, &value) == 0 && value > 0)
        return true;
    return sem_post(m_sem) == 0;
}

void CNamedEvent::Reset()
{
    if (m_sem == SEM_FAILED)
        return;
    while (sem_trywait(m_sem) == 0) {
    }
}

bool CNamedEvent::Wait(int ms)
{
    if (m_sem == SEM_FAILED)
        return false;
    if (SpinFor(ms))
        return true;
    // Measured on the monotonic clock, so that a step of the wall clock neither stretches
    // nor cuts the wait.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_clockwait(m_sem, CLOCK_MONOTONIC, &deadline) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}
