#pragma once

#include <semaphore.h>
#include <string>

// A manual-reset event shared by name between processes, over a POSIX named semaphore. The
// semaphore counts at most one: Set posts only when it is not signalled yet, Reset drains it.
// A successful Wait consumes the signal, which is what every waiter of the simulator protocol
// does next anyway (it resets the event it waited for).
class CNamedEvent
{
public:
    CNamedEvent() = default;
    ~CNamedEvent();
    CNamedEvent(const CNamedEvent&) = delete;
    CNamedEvent& operator=(const CNamedEvent&) = delete;

    // Opens the event, creating it non-signalled (private to this user) when it does not
    // exist yet.
    bool Open(const std::string& name);
    // Removes any event of that name left behind and creates a fresh, non-signalled one;
    // fails when one remains that could not be removed.
    bool Create(const std::string& name);
    void Close();
    bool IsOpen() const { return m_sem != SEM_FAILED; }
    const std::string& GetName() const { return m_name; }

    bool Set();
    void Reset();
    // Waits at most ms milliseconds for the event; true when it was signalled.
    bool Wait(int ms);

    static void Unlink(const std::string& name);

private:
    bool OpenWith(const std::string& name, int flags);
    // Takes the signal if it comes within a short spin; false when the waiter must block.
    bool SpinFor(int ms);

    sem_t* m_sem = SEM_FAILED;
    std::string m_name;
};
