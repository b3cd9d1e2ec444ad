#include "DeviceChangeWatcher.h"
#include "UsbTestLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// The cable is pulled while the link is open: the bus reports it through the link's notice
// descriptor, which the panel's watcher follows in the event loop, and the connection check then
// fails. The emulated bus is read once per process, so this runs in a program of its own.
//
// Another printer leaves first, while the panel goes on with its transfers: a notice that a
// transfer's own event handling took in must still reach the panel.
TEST(UsbHotplug, UnplugReachesThePanelAsADeviceChange)
{
    CEmulatedMachine machine;
    CEmulatedMachine otherPrinter({.port = 6, .serial = "OTHER", .driverBound = false});
    int argc = 1;
    char name[] = "usb_hotplug";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    CEmulatedUsbLink link(machine.GetPath());
    link.SetName("ZR40");
    ASSERT_TRUE(link.Open());
    int notices = 0;
    QEventLoop loop;
    link.SetNotificationTarget([&](unsigned event) {
        EXPECT_EQ(event, DeviceNodesChanged);
        ++notices;
        loop.quit();
    });
    CDeviceChangeWatcher watcher;
    watcher.Watch(&link);
    ASSERT_NE(watcher.GetWatchedFd(), -1) << "no hotplug on this bus";
    EXPECT_TRUE(link.CheckConnection());

    otherPrinter.Unplug();
    // The bus's hotplug thread posts the notice meanwhile; the transfer then handles it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(link.CheckConnection());
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(notices, 1) << "the notice taken in by a transfer was lost";
    EXPECT_TRUE(link.CheckConnection());

    notices = 0;
    machine.Unplug();
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(notices, 1);
    EXPECT_FALSE(link.CheckConnection());
    EXPECT_EQ(link.GetDeviceHandle(), -1);
}
