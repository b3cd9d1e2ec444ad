#pragma once

#include <QObject>
#include <QPointer>

class CMachineLink;
class QSocketNotifier;

// Watches the notification descriptor of a link on the UI thread's event loop and lets the link
// hand its waiting device-change notices to its target (CMachineLink::ProcessNotifications).
// The descriptor can change whenever the link is reopened or the current link is switched, so
// the owner calls Watch() again at those points (cheap when nothing changed).
class CDeviceChangeWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CDeviceChangeWatcher(QObject* parent = nullptr);
    ~CDeviceChangeWatcher() override;

    // Follows link's current notification descriptor: starts, moves or stops watching as it
    // changed since the last call. nullptr stops watching.
    void Watch(CMachineLink* link);

    CMachineLink* GetLink() const { return m_link; }
    // The descriptor being watched, -1 when none.
    int GetWatchedFd() const { return m_fd; }

private:
    void OnReadable();
    void DropNotifier();

    CMachineLink* m_link = nullptr;
    int m_fd = -1;
    QPointer<QSocketNotifier> m_notifier;
};
