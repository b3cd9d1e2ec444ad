#include "ModelingMachine.h"
#include "PrivateCups.h"
#include "SimulatorLink.h"
#include "UsbTestLink.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// Several units on one emulated bus: two without serial numbers, one of them with the kernel's
// printer driver bound, and one with a serial number that a queue names. The bus is read once
// per process, so they all exist before the first test.
namespace {

const std::string Moved = "ZR40-MOVED";

class UsbUnits : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        withDriver = new CEmulatedMachine({.port = 3, .serial = "", .driverBound = true});
        twin = new CEmulatedMachine({.port = 4, .serial = "", .driverBound = false});
        moved = new CEmulatedMachine({.port = 5, .serial = Moved, .driverBound = false});
    }
    static void TearDownTestSuite()
    {
        delete withDriver;
        delete twin;
        delete moved;
    }
    void SetUp() override
    {
        for (CEmulatedMachine* unit : {withDriver, twin, moved})
            unit->ClearRecord();
    }

    static CEmulatedMachine* withDriver;
    static CEmulatedMachine* twin;
    static CEmulatedMachine* moved;
};

CEmulatedMachine* UsbUnits::withDriver = nullptr;
CEmulatedMachine* UsbUnits::twin = nullptr;
CEmulatedMachine* UsbUnits::moved = nullptr;

// Runs the backend on a job of a few bytes for a device URI; its exit status.
int RunBackend(const std::string& uri, const std::string& file)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        setenv("DEVICE_URI", uri.c_str(), 1);
        setenv("PRINTER", "zr40-units", 1);
        execl(ZR40_BACKEND, ZR40_BACKEND, "3", "user", "Mildek 1/1", "1", "", file.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The USB link with the path it kept from before a replug.
class CKeptPathLink : public CUsbPrintLink
{
public:
    void KeepPath(const std::string& path) { m_path = path; }
};

} // namespace

// The kernel's printer driver keeps the interface while the panel polls and commands (control
// transfers need no claim); a bulk transfer takes it off for the transfer and gives it back.
TEST_F(UsbUnits, KernelDriverIsDetachedOnlyForBulkTransfersAndBoundAgain)
{
    CModelingMachine panel(std::make_unique<CEmulatedUsbLink>(withDriver->GetPath()),
                           std::make_unique<CSimulatorLink>());
    ASSERT_TRUE(panel.SelectMachine("ZR40 with driver"));
    MachineStatus status;
    EXPECT_EQ(panel.ReadMachineStatus(status), 32);
    EXPECT_TRUE(panel.SetCuttingSpeed(110));
    EXPECT_EQ(withDriver->GetRecord().driverDetaches, 0);
    EXPECT_TRUE(withDriver->GetRecord().driverBound);

    const uint8_t line[] = "G0X1\r\n";
    EXPECT_TRUE(panel.WriteRawData(line, sizeof line - 1));
    const CEmulatedMachine::Record record = withDriver->GetRecord();
    EXPECT_EQ(record.driverDetaches, 1);
    EXPECT_EQ(record.driverAttaches, 1);
    EXPECT_TRUE(record.driverBound) << "the driver was not given the interface back";
    EXPECT_FALSE(record.claimed);
}

// Two units without serial numbers: the backend names each by its port, and a queue that names
// neither (make and model only) is refused rather than given the first. Looking at every unit
// to find the queue's leaves another printer's kernel driver bound.
TEST_F(UsbUnits, UnitsWithoutSerialNumbersAreToldApartByPortOrRefused)
{
    char pattern[] = "/tmp/zr40-units-job-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_EQ(write(fd, "G0X1\r\n", 6), 6);
    close(fd);
    struct Row
    {
        std::string uri;
        int exitStatus;
        CEmulatedMachine* receiver;
    };
    const Row rows[] = {
        {"usb://Quenby/ZR-40", 1, nullptr},
        {"zr40://Quenby/ZR-40?port=1-4", 0, twin},
        {"zr40://Quenby/ZR-40?port=1-3", 0, withDriver},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        for (CEmulatedMachine* unit : {withDriver, twin, moved})
            unit->ClearRecord();
        EXPECT_EQ(RunBackend(row.uri, pattern), row.exitStatus);
        for (CEmulatedMachine* unit : {withDriver, twin, moved})
            EXPECT_EQ(unit->GetBulkOutSize(), unit == row.receiver ? 6u : 0u) << unit->GetPath();
        // Listing the units (serial numbers, device ids) leaves the kernel driver alone; only
        // the job on that unit takes it off, and gives it back.
        const CEmulatedMachine::Record driver = withDriver->GetRecord();
        EXPECT_EQ(driver.driverDetaches, row.receiver == withDriver ? 1 : 0);
        EXPECT_EQ(driver.driverAttaches, driver.driverDetaches);
        EXPECT_TRUE(driver.driverBound);
    }
    unlink(pattern);
}

// A machine plugged into another socket: the path kept from before leads to another unit, whose
// serial number is not the queue's, so Retry looks for the machine again. Two queues of that
// machine (this project's backend and the print system's) share one device lock.
TEST_F(UsbUnits, KeptPathToAnotherUnitIsLookedForAgainAndQueuesOfOneMachineShareTheLock)
{
    CPrivateCups cups("zr40", ZR40_BACKEND);
    if (!cups.IsRunning())
        GTEST_SKIP() << cups.Why();
    ASSERT_TRUE(cups.AddQueue("moved", "Quenby ZR-40", "zr40://Quenby/ZR-40?serial=" + Moved));
    ASSERT_TRUE(cups.AddQueue("moved-usb", "Quenby ZR-40", "usb://Quenby/ZR-40?serial=" + Moved));

    CKeptPathLink link;
    link.SetName("moved");
    link.KeepPath(withDriver->GetPath());
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(link.GetDevicePath(), moved->GetPath());
    EXPECT_TRUE(link.CheckConnection());

    CUsbPrintLink other;
    other.SetName("moved-usb");
    ASSERT_TRUE(other.Open());
    // The panel mutex is named by the same key.
    EXPECT_EQ(other.GetMachineKey(), link.GetMachineKey());
    ASSERT_TRUE(link.Lock(0));
    EXPECT_FALSE(other.Lock(0)) << "two queues of one machine took the device lock together";
    link.Unlock();
    EXPECT_TRUE(other.Lock(0));
    other.Unlock();
}
