// The sleep inhibitor against a private bus with stand-ins for the login manager and the
// screen saver: one inhibitor for any number of holders, given back when the last lets go, and
// an answer that arrives after the release given back too.

#include "SleepInhibitor.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using zr40_test::WaitUntil;

// A read end sees its hang-up once every copy of the write end handed out is closed.
bool HungUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLIN));
}

// Answers Inhibit on both interfaces and records what it was asked. Called on the bus thread.
class StandInServices : public QDBusVirtualObject
{
public:
    struct Inhibit
    {
        QString what, why, mode;
        int readEnd = -1;
    };

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QList<QVariant> args = message.arguments();
        std::lock_guard lock(m_mutex);
        if (message.interface() == "org.freedesktop.login1.Manager" &&
            message.member() == "Inhibit" && args.size() == 4) {
            int ends[2];
            if (pipe(ends) != 0)
                return false;
            m_inhibits.push_back(
                {args[0].toString(), args[2].toString(), args[3].toString(), ends[0]});
            connection.send(
                message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
            close(ends[1]);
            return true;
        }
        if (message.interface() == "org.freedesktop.ScreenSaver" && message.member() == "Inhibit") {
            connection.send(message.createReply(QVariant::fromValue(++m_lastCookie)));
            return true;
        }
        if (message.interface() == "org.freedesktop.ScreenSaver" &&
            message.member() == "UnInhibit" && args.size() == 1) {
            m_uninhibited.push_back(args[0].toUInt());
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override { return {}; }

    std::vector<Inhibit> Inhibits()
    {
        std::lock_guard lock(m_mutex);
        return m_inhibits;
    }
    std::vector<uint> Uninhibited()
    {
        std::lock_guard lock(m_mutex);
        return m_uninhibited;
    }
    uint LastCookie()
    {
        std::lock_guard lock(m_mutex);
        return m_lastCookie;
    }

private:
    std::mutex m_mutex;
    std::vector<Inhibit> m_inhibits;
    std::vector<uint> m_uninhibited;
    uint m_lastCookie = 0;
};

class SleepInhibitorTest : public ::testing::Test
{
protected:
    // One private bus serves as both the system and the session bus of this program; it must be
    // named before the first connection is made.
    static void SetUpTestSuite()
    {
        FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        ASSERT_NE(daemon, nullptr);
        char address[512] = {}, pid[32] = {};
        ASSERT_NE(fgets(address, sizeof address, daemon), nullptr);
        ASSERT_NE(fgets(pid, sizeof pid, daemon), nullptr);
        pclose(daemon);
        std::string line(address);
        line.erase(line.find_last_not_of("\r\n") + 1);
        s_daemonPid = std::stoi(pid);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", line.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", line.c_str(), 1);
        static int argc = 1;
        static char name[] = "zr40_sleep_test";
        static char* argv[] = {name, nullptr};
        s_app = new QCoreApplication(argc, argv);
        s_address = QString::fromStdString(line);
    }

    static void TearDownTestSuite()
    {
        delete s_app;
        if (s_daemonPid > 0)
            kill(s_daemonPid, SIGTERM);
    }

    // The stand-ins on a connection of their own, as the real services are other processes.
    static StandInServices& Services()
    {
        static StandInServices* services = [] {
            auto* standIn = new StandInServices;
            QDBusConnection bus = QDBusConnection::connectToBus(s_address, "stand-in");
            bus.registerService("org.freedesktop.login1");
            bus.registerService("org.freedesktop.ScreenSaver");
            bus.registerVirtualObject("/org/freedesktop/login1", standIn);
            bus.registerVirtualObject("/org/freedesktop/ScreenSaver", standIn);
            return standIn;
        }();
        return *services;
    }

    static inline QCoreApplication* s_app = nullptr;
    static inline QString s_address;
    static inline int s_daemonPid = 0;
};

TEST_F(SleepInhibitorTest, WithoutServicesHoldingAndReleasingAnswersAtOnce)
{
    CSleepInhibitor* inhibitor = CSleepInhibitor::Instance();
    ASSERT_NE(inhibitor, nullptr);
    inhibitor->Hold(this);
    EXPECT_TRUE(inhibitor->IsHeld());
    inhibitor->Release(this);
    EXPECT_FALSE(inhibitor->IsHeld());
    // The error answers of the bus arrive and are dropped.
    QCoreApplication::processEvents();
}

TEST_F(SleepInhibitorTest, OneInhibitorFromTheFirstHolderToTheLastRelease)
{
    StandInServices& services = Services();
    CSleepInhibitor& inhibitor = *CSleepInhibitor::Instance();
    const size_t before = services.Inhibits().size();
    int handOver = 0, testCut = 0;

    inhibitor.Hold(&handOver);
    ASSERT_TRUE(WaitUntil([&] { return services.Inhibits().size() == before + 1; }));
    const StandInServices::Inhibit held = services.Inhibits().back();
    EXPECT_EQ(held.what, "sleep:idle");
    EXPECT_EQ(held.why, "Cutting in progress");
    EXPECT_EQ(held.mode, "block");
    ASSERT_TRUE(WaitUntil([&] { return services.LastCookie() != 0; }));
    const uint cookie = services.LastCookie();

    // A second holder, and the same one again: nothing more is asked, the first release of two
    // gives nothing back.
    inhibitor.Hold(&testCut);
    inhibitor.Hold(&testCut);
    inhibitor.Release(&handOver);
    EXPECT_TRUE(inhibitor.IsHeld());
    inhibitor.Release(&testCut);
    EXPECT_FALSE(inhibitor.IsHeld());

    EXPECT_TRUE(WaitUntil([&] { return HungUp(held.readEnd); }));
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<uint> gone = services.Uninhibited();
        return std::find(gone.begin(), gone.end(), cookie) != gone.end();
    }));
    EXPECT_EQ(services.Inhibits().size(), before + 1);
}

TEST_F(SleepInhibitorTest, AnAnswerAfterTheReleaseIsGivenBack)
{
    StandInServices& services = Services();
    CSleepInhibitor& inhibitor = *CSleepInhibitor::Instance();
    const size_t before = services.Inhibits().size();
    const uint cookieBefore = services.LastCookie();

    inhibitor.Hold(this);
    inhibitor.Release(this);
    ASSERT_TRUE(WaitUntil([&] { return services.Inhibits().size() == before + 1; }));
    EXPECT_TRUE(WaitUntil([&] { return HungUp(services.Inhibits().back().readEnd); }));
    ASSERT_TRUE(WaitUntil([&] { return services.LastCookie() != cookieBefore; }));
    const uint late = services.LastCookie();
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<uint> gone = services.Uninhibited();
        return std::find(gone.begin(), gone.end(), late) != gone.end();
    }));
}

} // namespace
