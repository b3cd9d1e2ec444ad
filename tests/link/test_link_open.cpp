#include "DeviceMutex.h"
#include "FakeMachineLink.h"

#include <gtest/gtest.h>

namespace {

// Counts how often the common operations reach the device primitives.
class CountingLink : public FakeMachineLink
{
public:
    int finds = 0;
    int opens = 0;
    int closes = 0;
    std::vector<PrinterEntry> printers;
    bool listFails = false;

    // The socket the machine is in; a path to another one opens nothing.
    std::string socket = "fake";

    bool FindDevicePath(const std::string& name, std::string& path) override
    {
        ++finds;
        if (!FakeMachineLink::FindDevicePath(name, path))
            return false;
        path = socket;
        return true;
    }
    int OpenDevice(const std::string& name, const std::string& path) override
    {
        ++opens;
        return path == socket ? FakeMachineLink::OpenDevice(name, path) : -1;
    }
    bool CloseDevice(int handle) override
    {
        ++closes;
        return FakeMachineLink::CloseDevice(handle);
    }

protected:
    bool ListPrinters(std::vector<PrinterEntry>& out) override
    {
        out = printers;
        return !listFails;
    }
};

} // namespace

TEST(LinkOpen, EmptyNameFailsWithoutTouchingTheDevice)
{
    CountingLink link;
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(link.finds + link.opens, 0);
}

TEST(LinkOpen, OpenOnAnOpenLinkKeepsTheDeviceAndMutex)
{
    CountingLink link;
    const std::string name = FakeMachineLink::UniqueName("open twice");
    link.SetName(name);
    ASSERT_TRUE(link.Open());
    ASSERT_TRUE(link.Lock(0));
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(link.opens, 1);
    // Another holder of the machine's mutex still finds it taken: a recreated mutex would have
    // dropped the lock held on the old one.
    CDeviceMutex other;
    ASSERT_TRUE(other.Create(name));
    EXPECT_FALSE(other.Lock(0)) << "the held mutex was recreated";
    link.Unlock();
    EXPECT_TRUE(other.Lock(0));
    other.Unlock();
}

TEST(LinkOpen, CloseForgetsTheNameUntilItIsSetAgain)
{
    CountingLink link;
    const std::string name = FakeMachineLink::UniqueName("close");
    link.SetName(name);
    ASSERT_TRUE(link.Open());
    EXPECT_TRUE(link.Close());
    EXPECT_EQ(link.GetDeviceHandle(), -1);
    EXPECT_FALSE(link.Open());
    link.SetName(name);
    EXPECT_TRUE(link.Open());
}

TEST(LinkOpen, SameNameKeepsThePathAnotherNameFindsItAgain)
{
    CountingLink link;
    const std::string name = FakeMachineLink::UniqueName("path");
    link.SetName(name);
    ASSERT_TRUE(link.Open());
    ASSERT_EQ(link.finds, 1);
    link.answersDeviceId = false;
    EXPECT_FALSE(link.CheckConnection()); // drops the device, keeps name and path
    EXPECT_EQ(link.GetDeviceHandle(), -1);
    EXPECT_EQ(link.GetName(), name);
    EXPECT_EQ(link.GetDevicePath(), "fake");

    link.SetName(name);
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(link.finds, 1) << "the known path was reused";

    link.SetName(name + " other");
    EXPECT_TRUE(link.GetDevicePath().empty());
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(link.finds, 2);
}

TEST(LinkOpen, ReconnectReopensAfterAFailedCheck)
{
    CountingLink link;
    link.SetName(FakeMachineLink::UniqueName("reconnect"));
    ASSERT_TRUE(link.Open());
    link.answersDeviceId = false;
    EXPECT_TRUE(link.Reconnect()); // check fails, open with the same path succeeds
    EXPECT_EQ(link.opens, 2);
    link.present = false;
    EXPECT_FALSE(link.Reconnect());
}

TEST(LinkOpen, RetryAfterAReplugIntoAnotherSocketFindsTheMachineAgain)
{
    CountingLink link;
    link.SetName(FakeMachineLink::UniqueName("replug"));
    ASSERT_TRUE(link.Open());
    link.answersDeviceId = false;
    EXPECT_FALSE(link.CheckConnection());
    link.answersDeviceId = true;
    link.socket = "other socket";
    EXPECT_TRUE(link.Reconnect()) << "the path from before the replug was kept";
    EXPECT_EQ(link.GetDevicePath(), "other socket");
    EXPECT_EQ(link.finds, 2);
}

TEST(LinkOpen, MachineListFiltersByDriverIgnoringCase)
{
    CountingLink link;
    link.printers = {{"mill", "quenby zr-40", "usb://a"},
                     {"laser", "Other", "usb://b"},
                     {"mill 2", "Quenby ZR-40", "usb://c"}};
    EXPECT_EQ(link.EnumerateMachines("Quenby ZR-40", false), 2);
    EXPECT_EQ(link.GetMachineName(0).value_or(""), "mill");
    EXPECT_EQ(link.GetMachineName(1).value_or(""), "mill 2");
    EXPECT_FALSE(link.GetMachineName(2));
    EXPECT_FALSE(link.GetMachineName(-1));
    EXPECT_EQ(link.EnumerateMachines("", false), 3);

    link.present = false; // checkPaths keeps only printers whose device opens
    EXPECT_EQ(link.EnumerateMachines("Quenby ZR-40", true), 0);
    link.present = true;
    EXPECT_EQ(link.EnumerateMachines("Quenby ZR-40", true), 2);
    EXPECT_EQ(link.closes, 2);

    link.listFails = true;
    EXPECT_EQ(link.EnumerateMachines("Quenby ZR-40", false), -1);
}
