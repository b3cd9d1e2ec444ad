#include "NamedEvent.h"

#include <cerrno>
#include <fcntl.h>
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

bool CNamedEvent::Open(const std::string& name)
{
    Close();
    // Shareable by every user, like the lock files: the simulator and the panel may run as
    // different users of the same desktop.
    const mode_t oldMask = umask(0);
    m_sem = sem_open(SemaphoreName(name).c_str(), O_CREAT, 0666, 0);
    umask(oldMask);
    if (m_sem == SEM_FAILED)
        return false;
    m_name = name;
    return true;
}

bool CNamedEvent::Create(const std::string& name)
{
    Unlink(name);
    return Open(name);
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
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_timedwait(m_sem, &deadline) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}
