#include "DeviceChangeWatcher.h"

#include "MachineLink.h"

#include <QSocketNotifier>

CDeviceChangeWatcher::CDeviceChangeWatcher(QObject* parent) : QObject(parent) {}

// The notifiers are children of the watcher and go with it.
CDeviceChangeWatcher::~CDeviceChangeWatcher() = default;

void CDeviceChangeWatcher::Watch(CMachineLink* link)
{
    const int fd = link ? link->GetNotificationFd() : -1;
    if (link == m_link && fd == m_fd)
        return;
    DropNotifier();
    m_link = link;
    m_fd = fd;
    if (fd < 0)
        return;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier.data(), &QSocketNotifier::activated, this,
            &CDeviceChangeWatcher::OnReadable);
}

void CDeviceChangeWatcher::DropNotifier()
{
    if (!m_notifier)
        return;
    // The notifier may be the one whose signal is being handled further up the stack (a notice
    // whose handler reopened the link), so it goes only once control is back in the event loop.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
}

void CDeviceChangeWatcher::OnReadable()
{
    if (!m_link || !m_notifier)
        return;
    // A notice's handler may run a modal dialog; the descriptor stays readable until the link
    // has drained it, so the notifier is held off meanwhile instead of firing again nested.
    QPointer<QSocketNotifier> notifier = m_notifier;
    notifier->setEnabled(false);
    m_link->ProcessNotifications();
    if (notifier && notifier == m_notifier)
        notifier->setEnabled(true);
}
