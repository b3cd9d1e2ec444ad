#include "MachineCommands.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"
#include "UsbTestLink.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

class UsbLink : public ::testing::Test
{
protected:
    // The bus is read once per process, so the one machine lives for the whole suite.
    static void SetUpTestSuite() { machine = new CEmulatedMachine; }
    static void TearDownTestSuite()
    {
        delete machine;
        machine = nullptr;
    }
    void SetUp() override
    {
        machine->SetAnswering(true);
        machine->ClearRecord();
    }

    static CEmulatedMachine* machine;
};

CEmulatedMachine* UsbLink::machine = nullptr;

} // namespace

TEST_F(UsbLink, DevicePrimitivesReachTheDeviceWithinTheirLimits)
{
    CEmulatedUsbLink link(machine->GetPath());
    link.SetName("ZR40");
    ASSERT_TRUE(link.Open());
    const int handle = link.GetDeviceHandle();

    char id[4096] = {};
    ASSERT_TRUE(link.QueryDeviceId(handle, id, 4093));
    EXPECT_EQ(std::string(id).rfind("MFG:Quenby;MDL:ZR-40;", 0), 0u) << id;

    struct Row
    {
        const char* what;
        int length;
        bool sent;
    };
    const std::vector<uint8_t> payload(4090, 0x5A);
    for (const Row& row : {Row{"largest vendor-out", 4089, true},
                           Row{"one byte too many, refused before any transfer", 4090, false}}) {
        SCOPED_TRACE(row.what);
        machine->ClearRecord();
        EXPECT_EQ(link.VendorOut(handle, 1, Cmd::GetByteOrder, 0, payload.data(), row.length),
                  row.sent);
        EXPECT_EQ(machine->GetTransferCount(), row.sent ? 1 : 0);
    }

    uint8_t one = 0;
    EXPECT_EQ(link.VendorIn(handle, 1, Cmd::GetCommandStatus, 0, &one, 1), 1);
    EXPECT_TRUE(link.CheckConnection());

    // A device that stalls every request: each primitive reports failure, none hangs.
    machine->SetAnswering(false);
    EXPECT_EQ(link.VendorIn(handle, 1, Cmd::GetCommandStatus, 0, &one, 1), -1);
    EXPECT_FALSE(link.VendorOut(handle, 1, Cmd::GetByteOrder, 0, payload.data(), 4));
    EXPECT_FALSE(link.QueryDeviceId(handle, id, 4093));
    EXPECT_EQ(link.BulkRead(id, 64), -1);
    machine->SetAnswering(true);
}

TEST_F(UsbLink, CommandLayerDrivesTheMachineOverUsb)
{
    CModelingMachine machineLayer(std::make_unique<CEmulatedUsbLink>(machine->GetPath()),
                                  std::make_unique<CSimulatorLink>());
    // Selecting the machine opens the device and learns its byte order.
    ASSERT_TRUE(machineLayer.SelectMachine("ZR40"));
    EXPECT_TRUE(machineLayer.GetLink().CheckConnection());

    // A command is accepted, a query brings its reply, the status record arrives whole.
    EXPECT_TRUE(machineLayer.SetCuttingSpeed(120));
    AxisTriple position{-1, -1, -1};
    EXPECT_TRUE(machineLayer.GetPosition(position));
    MachineStatus status;
    EXPECT_EQ(machineLayer.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.override, 120u);
    const std::vector<std::string> log = machine->GetLog();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) { return line.rfind("0x0307 ", 0) == 0; }),
              log.end())
        << "the cutting speed did not arrive";

    // The bulk pipe: bytes written arrive unchanged.
    std::vector<uint8_t> data(40000);
    std::iota(data.begin(), data.end(), 0);
    machine->ClearRecord();
    EXPECT_TRUE(machineLayer.WriteRawData(data.data(), static_cast<int>(data.size())));
    EXPECT_EQ(machine->GetBulkOut(), data);
}
