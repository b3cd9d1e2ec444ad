#pragma once

// Keeps the computer awake while a job runs: a desktop that suspends mid-job drops the USB link
// and ruins the part. While anyone holds it, the login manager is asked for a sleep and idle
// inhibitor (a file descriptor that holds it until closed) and the session's screen saver for an
// inhibit cookie, both with the reason "Cutting in progress". Where no bus or service answers,
// nothing happens and nothing is said. The calls never wait: the answers arrive later and are
// given back at once when the last holder has let go meanwhile.

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <set>

class CSleepInhibitor : public QObject
{
public:
    // The one inhibitor of the application, created on first use as a child of the application
    // (so that it goes with it); nullptr when there is no application.
    static CSleepInhibitor* Instance();

    // Holders are counted as a set: one holder holding twice is one holder, and one holder's
    // release never ends another's.
    void Hold(const void* holder);
    void Release(const void* holder);
    bool IsHeld() const { return !m_holders.empty(); }

    ~CSleepInhibitor() override;

private:
    explicit CSleepInhibitor(QObject* parent);
    void Ask();
    void GiveBack();

    std::set<const void*> m_holders;
    // Each round of asking has its number, so that a late answer to an earlier round is given
    // back rather than kept.
    unsigned m_round = 0;
    QDBusUnixFileDescriptor m_loginLock;
    unsigned m_screenSaverCookie = 0;
    bool m_hasScreenSaverCookie = false;
};

// Holds the application's inhibitor for its own lifetime (a hand-over, a test-cut run).
class CSleepInhibitGuard
{
public:
    CSleepInhibitGuard();
    ~CSleepInhibitGuard();
    CSleepInhibitGuard(const CSleepInhibitGuard&) = delete;
    CSleepInhibitGuard& operator=(const CSleepInhibitGuard&) = delete;
};
