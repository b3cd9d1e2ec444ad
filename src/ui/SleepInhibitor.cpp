#include "SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

namespace {

const QString kReason = QStringLiteral("Cutting in progress");

const QString kLoginService = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginInterface = QStringLiteral("org.freedesktop.login1.Manager");

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kScreenSaverInterface = QStringLiteral("org.freedesktop.ScreenSaver");

QString Who()
{
    return QGuiApplication::applicationDisplayName();
}

} // namespace

CSleepInhibitor* CSleepInhibitor::Instance()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    static CSleepInhibitor* instance = nullptr;
    static QObject* owner = nullptr;
    if (!instance || owner != app) {
        instance = new CSleepInhibitor(app);
        owner = app;
        QObject::connect(instance, &QObject::destroyed, [] { instance = nullptr; });
    }
    return instance;
}

CSleepInhibitor::CSleepInhibitor(QObject* parent) : QObject(parent) {}

// The login manager's lock goes with its descriptor; the screen saver lets go of a cookie when
// its owner's connection closes, which it does as the application ends.
CSleepInhibitor::~CSleepInhibitor() = default;

void CSleepInhibitor::Hold(const void* holder)
{
    const bool first = m_holders.empty();
    m_holders.insert(holder);
    if (first)
        Ask();
}

void CSleepInhibitor::Release(const void* holder)
{
    if (m_holders.erase(holder) != 0 && m_holders.empty())
        GiveBack();
}

void CSleepInhibitor::Ask()
{
    const unsigned round = ++m_round;

    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kLoginService, kLoginPath, kLoginInterface, "Inhibit");
        call << QStringLiteral("sleep:idle") << Who() << kReason << QStringLiteral("block");
        auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, round](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answer;
                    // An answer for a round already given back is dropped, which closes it.
                    if (reply.isValid() && round == m_round && IsHeld())
                        m_loginLock = reply.value();
                });
    }

    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                                           kScreenSaverInterface, "Inhibit");
        call << Who() << kReason;
        auto* watcher = new QDBusPendingCallWatcher(session.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, round](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    const QDBusPendingReply<uint> reply = *answer;
                    if (!reply.isValid())
                        return;
                    if (round == m_round && IsHeld()) {
                        m_screenSaverCookie = reply.value();
                        m_hasScreenSaverCookie = true;
                        return;
                    }
                    QDBusMessage unInhibit = QDBusMessage::createMethodCall(
                        kScreenSaverService, kScreenSaverPath, kScreenSaverInterface, "UnInhibit");
                    unInhibit << reply.value();
                    QDBusConnection::sessionBus().asyncCall(unInhibit);
                });
    }
}

void CSleepInhibitor::GiveBack()
{
    ++m_round;
    m_loginLock = QDBusUnixFileDescriptor();
    if (m_hasScreenSaverCookie) {
        m_hasScreenSaverCookie = false;
        QDBusMessage unInhibit = QDBusMessage::createMethodCall(
            kScreenSaverService, kScreenSaverPath, kScreenSaverInterface, "UnInhibit");
        unInhibit << m_screenSaverCookie;
        QDBusConnection::sessionBus().asyncCall(unInhibit);
    }
}

CSleepInhibitGuard::CSleepInhibitGuard()
{
    if (CSleepInhibitor* inhibitor = CSleepInhibitor::Instance())
        inhibitor->Hold(this);
}

CSleepInhibitGuard::~CSleepInhibitGuard()
{
    if (CSleepInhibitor* inhibitor = CSleepInhibitor::Instance())
        inhibitor->Release(this);
}
