// CSimulatorLink against the real simulator process, and against blocks written by a faulty
// simulator.
#include "MachineCommands.h"
#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorLink.h"
#include "SimulatorProcess.h"
#include "SimulatorProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* Model = "Quenby ZR-40";

long ElapsedMs(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool MapsMention(const std::string& text)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

// Counts the device-change notices a link hands to its target.
struct NoticeCounter
{
    std::vector<unsigned> events;
    void Attach(CSimulatorLink& link)
    {
        link.SetNotificationTarget([this](unsigned event) { events.push_back(event); });
    }
};

// The disconnect event is taken by the simulator in its own time.
std::vector<std::string> LogOnceItHas(const CSimulatorProcess& sim, const std::string& entry)
{
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    std::vector<std::string> log = sim.Log();
    while (std::find(log.begin(), log.end(), entry) == log.end() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        log = sim.Log();
    }
    return log;
}

bool WaitReadable(int fd, int ms)
{
    pollfd watch{fd, POLLIN, 0};
    return poll(&watch, 1, ms) == 1;
}

class SimulatorLinkTest : public ::testing::Test
{
protected:
    void StartSimulator(std::vector<std::string> options = {})
    {
        m_sim = std::make_unique<CSimulatorProcess>(std::move(options));
        ASSERT_TRUE(m_sim->Start());
    }
    void OpenLink(CSimulatorLink& link)
    {
        link.SetName(Model);
        ASSERT_TRUE(link.Open());
    }
    std::unique_ptr<CSimulatorProcess> m_sim;
};

TEST_F(SimulatorLinkTest, OpeningWithoutConnectedBitFailsAndMapsNothing)
{
    StartSimulator({"--unplugged"});
    CSimulatorLink link;
    link.SetName(Model);
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(link.GetDeviceHandle(), -1);
    EXPECT_FALSE(link.IsMapped());
    EXPECT_FALSE(MapsMention("IPC Memory for"));

    m_sim->Control("replug");
    EXPECT_TRUE(link.Open());
    EXPECT_TRUE(MapsMention("IPC Memory for"));
    link.Close();
    EXPECT_FALSE(MapsMention("IPC Memory for"));
}

TEST_F(SimulatorLinkTest, OpeningWithoutSimulatorFails)
{
    CSimulatorLink link;
    link.SetName("No Such Machine");
    EXPECT_FALSE(link.Open());
    EXPECT_FALSE(link.IsMapped());
}

TEST_F(SimulatorLinkTest, ControlOutLargerThanTheAreaIsSplitIntoStages)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    m_sim->ClearLog();
    // 40 bytes + the 4-byte prefix in a 16-byte area: 12 + 16 + 12.
    uint8_t payload[40];
    for (int i = 0; i < 40; ++i)
        payload[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(link.VendorWrite(0x7777, payload, sizeof payload));
    std::string hex;
    char digits[3];
    for (uint8_t byte : payload) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
    }
    EXPECT_EQ(m_sim->LogOf("0x7777"), std::vector<std::string>{"0x7777 " + hex});
    EXPECT_EQ(m_sim->Status()["control-out-stages"], "3");

    // A payload that fits travels in one stage; an empty one in one stage of only the prefix.
    ASSERT_TRUE(link.VendorWrite(0x7778, payload, 12));
    EXPECT_EQ(m_sim->Status()["control-out-stages"], "1");
    ASSERT_TRUE(link.VendorWrite(0x7779, nullptr, 0));
    EXPECT_EQ(m_sim->LogOf("0x7779"), std::vector<std::string>{"0x7779"});
}

TEST_F(SimulatorLinkTest, ControlInEndsOnAShortPacket)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    uint8_t buffer[64] = {};
    // 4 bytes: one short packet.
    EXPECT_EQ(link.VendorRead(Cmd::GetByteOrder, buffer, sizeof buffer), 4);
    uint16_t marker;
    std::memcpy(&marker, buffer + 2, 2);
    EXPECT_EQ(marker, ByteOrderMarker);
    // 32 bytes, a multiple of the packet size: ended by an empty packet.
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, sizeof buffer), 32);
    // Fewer bytes asked than the machine has: the requested length ends it.
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 10), 10);
    // A code without a reply.
    EXPECT_EQ(link.VendorRead(0x7FFF, buffer, sizeof buffer), 0);
}

TEST_F(SimulatorLinkTest, DeviceIdentificationAnswersTheConnectionCheck)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    char id[4096] = {};
    ASSERT_TRUE(link.QueryDeviceId(link.GetDeviceHandle(), id, sizeof id));
    EXPECT_NE(std::string(id).find("MDL:ZR-40;"), std::string::npos);
    EXPECT_TRUE(std::string(id).starts_with("MFG:"));
    EXPECT_TRUE(link.CheckConnection());
}

TEST_F(SimulatorLinkTest, OpeningAnOpenLinkClosesTheBlockFirst)
{
    StartSimulator();
    CSimulatorLink link;
    NoticeCounter notices;
    notices.Attach(link);
    OpenLink(link);
    m_sim->ClearLog();
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(LogOnceItHas(*m_sim, "disconnect"), std::vector<std::string>{"disconnect"});
    // Notices are posted, not delivered from inside Open.
    EXPECT_TRUE(notices.events.empty());
    ASSERT_TRUE(WaitReadable(link.GetNotificationFd(), 1000));
    link.ProcessNotifications();
    EXPECT_EQ(notices.events, (std::vector<unsigned>{7, 7, 7})); // open, close, open
    // Reconnect keeps the block while the connection check succeeds.
    m_sim->ClearLog();
    ASSERT_TRUE(link.Reconnect());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(m_sim->LogOf("disconnect").empty());
}

TEST_F(SimulatorLinkTest, DestroyingAnOpenLinkClosesItsBlock)
{
    StartSimulator();
    {
        CSimulatorLink link;
        OpenLink(link);
        m_sim->ClearLog();
    }
    EXPECT_EQ(LogOnceItHas(*m_sim, "disconnect"), std::vector<std::string>{"disconnect"});
    EXPECT_FALSE(MapsMention("IPC Memory for"));
}

TEST_F(SimulatorLinkTest, OneClientClosingKeepsTheOthersConnected)
{
    StartSimulator();
    CSimulatorLink panel;
    OpenLink(panel);
    {
        CSimulatorLink tool;
        OpenLink(tool);
        uint8_t buffer[8];
        EXPECT_EQ(tool.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
        EXPECT_TRUE(tool.Close());
    }
    uint8_t buffer[8];
    EXPECT_EQ(panel.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
    EXPECT_EQ(m_sim->Status()["connected"], "1");
}

TEST_F(SimulatorLinkTest, UnplugAndReplugReachEveryClientAsNotices)
{
    StartSimulator();
    CSimulatorLink first, second;
    NoticeCounter firstNotices, secondNotices;
    firstNotices.Attach(first);
    secondNotices.Attach(second);
    OpenLink(first);
    OpenLink(second);
    uint8_t buffer[8];
    // Each client makes itself known with its first transfer.
    ASSERT_EQ(first.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
    ASSERT_EQ(second.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
    first.ProcessNotifications();
    second.ProcessNotifications();
    firstNotices.events.clear();
    secondNotices.events.clear();

    m_sim->Control("unplug");
    ASSERT_TRUE(WaitReadable(first.GetNotificationFd(), 1000));
    ASSERT_TRUE(WaitReadable(second.GetNotificationFd(), 1000));
    first.ProcessNotifications();
    second.ProcessNotifications();
    EXPECT_EQ(firstNotices.events, std::vector<unsigned>{DeviceNodesChanged});
    EXPECT_EQ(secondNotices.events, std::vector<unsigned>{DeviceNodesChanged});
    // Not connected: transfers fail at once, without waiting.
    const auto start = Clock::now();
    EXPECT_EQ(first.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_FALSE(first.CheckConnection());
    EXPECT_LT(ElapsedMs(start), 400);

    m_sim->Control("replug");
    ASSERT_TRUE(WaitReadable(second.GetNotificationFd(), 1000));
    second.ProcessNotifications();
    EXPECT_EQ(secondNotices.events.size(), 2u);
    EXPECT_EQ(second.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
    EXPECT_TRUE(first.Reconnect());
}

TEST_F(SimulatorLinkTest, AKilledSimulatorFailsEachTransferAfterTheWait)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    m_sim->Kill();
    uint8_t buffer[8];
    auto start = Clock::now();
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_GE(ElapsedMs(start), 450);
    EXPECT_LT(ElapsedMs(start), 2000);
    start = Clock::now();
    EXPECT_FALSE(link.VendorWrite(Cmd::PauseCutting, nullptr, 0));
    EXPECT_GE(ElapsedMs(start), 450);
    EXPECT_FALSE(link.BulkWrite("G0X1\n", 5));
    EXPECT_EQ(link.BulkRead(buffer, 8), -1);
    link.Close();
    // What the killed simulator left behind.
    CSharedMemory::Unlink(SimProtocol::SharedMemoryName(Model));
    for (const char* name : SimProtocol::AllEvents)
        CNamedEvent::Unlink(name);
}

TEST_F(SimulatorLinkTest, ALateAnswerIsNotTakenForTheNextOne)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    uint8_t buffer[32];
    m_sim->Control("delay 700");
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 32), -1);
    m_sim->Control("delay 0");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    uint8_t order[4] = {};
    ASSERT_EQ(link.VendorRead(Cmd::GetByteOrder, order, 4), 4);
    uint16_t marker;
    std::memcpy(&marker, order + 2, 2);
    EXPECT_EQ(marker, ByteOrderMarker);
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 32), 32);

    m_sim->Control("stop-answering");
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 32), -1);
    m_sim->Control("resume-answering");
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 32), 32);
}

TEST_F(SimulatorLinkTest, OutputFileHandsAFullPathAndRefusesOneThatDoesNotFit)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    m_sim->ClearLog();
    EXPECT_TRUE(link.OutputFile(-1, "relative/job.nc", "job"));
    const std::vector<std::string> log = m_sim->LogOf("output-file");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].starts_with("output-file /"));
    EXPECT_TRUE(log[0].ends_with("/relative/job.nc"));

    const std::string longPath = "/" + std::string(5000, 'a');
    EXPECT_FALSE(link.OutputFile(-1, longPath, "job"));
    EXPECT_EQ(m_sim->LogOf("output-file").size(), 1u);
}

// --- a faulty simulator ---------------------------------------------------------------------

constexpr const char* FakeName = "zr40 corrupt block test";

class CorruptBlockTest : public ::testing::Test
{
protected:
    static constexpr size_t BlockSize = 256;
    static constexpr uint16_t Control = 64;
    static constexpr uint16_t BulkOut = 112;
    static constexpr uint16_t BulkIn = 176;

    void SetUp() override
    {
        ASSERT_TRUE(m_block.Create(SimProtocol::SharedMemoryName(FakeName), BlockSize));
        for (int i = 0; i < 9; ++i)
            ASSERT_TRUE(m_events[i].Create(SimProtocol::AllEvents[i]));
        uint8_t* b = m_block.Data();
        b[SimProtocol::Header::Connected] = SimProtocol::ConnectedBit;
        Put16(SimProtocol::Header::ControlArea, Control);
        Put16(SimProtocol::Header::BulkOutArea, BulkOut);
        Put16(SimProtocol::Header::BulkInArea, BulkIn);
        for (uint16_t area : {Control, BulkOut, BulkIn}) {
            Put16(area + SimProtocol::Area::MaxPacket, 8);
            Put16(area + SimProtocol::Area::Capacity, 16);
        }
    }
    void TearDown() override
    {
        m_stop = true;
        if (m_responder.joinable())
            m_responder.join();
        m_block.Close();
        CSharedMemory::Unlink(SimProtocol::SharedMemoryName(FakeName));
        for (int i = 0; i < 9; ++i) {
            m_events[i].Close();
            CNamedEvent::Unlink(SimProtocol::AllEvents[i]);
        }
    }
    void Put16(size_t offset, uint16_t value) { std::memcpy(m_block.Data() + offset, &value, 2); }

    // Answers every request of a pipe, writing a data length far beyond the capacity.
    void AnswerWithOverlongData(SimProtocol::Pipe pipe, uint16_t area)
    {
        m_responder = std::thread([this, pipe, area] {
            while (!m_stop) {
                if (!m_events[pipe * 2].Wait(50))
                    continue;
                Put16(area + SimProtocol::Area::DataLength, 0xFFFF);
                m_block.Data()[SimProtocol::Header::AnswerSequence + pipe] =
                    m_block.Data()[SimProtocol::Header::RequestSequence + pipe];
                m_events[pipe * 2 + 1].Set();
            }
        });
    }

    bool OpenLink(CSimulatorLink& link)
    {
        link.SetName(FakeName);
        return link.Open();
    }

    CSharedMemory m_block;
    CNamedEvent m_events[9];
    std::thread m_responder;
    std::atomic<bool> m_stop{false};
};

TEST_F(CorruptBlockTest, AreasOutsideTheMappingAreRefusedWithoutATransfer)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    uint8_t buffer[64];
    const auto start = Clock::now();
    Put16(SimProtocol::Header::ControlArea, BlockSize - 4); // header past the end
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_FALSE(link.VendorWrite(Cmd::PauseCutting, nullptr, 0));
    Put16(SimProtocol::Header::ControlArea, Control);
    Put16(Control + SimProtocol::Area::Capacity, 4000); // data part past the end
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    Put16(Control + SimProtocol::Area::Capacity, 16);
    Put16(Control + SimProtocol::Area::MaxPacket, 0); // would divide by zero
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    Put16(SimProtocol::Header::ControlArea, 10); // inside the header
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    Put16(SimProtocol::Header::BulkOutArea, 0xFFF0);
    EXPECT_FALSE(link.BulkWrite("G0X1\n", 5));
    Put16(SimProtocol::Header::BulkInArea, 0xFFF0);
    EXPECT_EQ(link.BulkRead(buffer, sizeof buffer), -1);
    EXPECT_FALSE(link.OutputFile(-1, "/tmp/x.nc", "job"));
    // Refused before any handshake: none of these waited for an answer.
    EXPECT_LT(ElapsedMs(start), 400);
}

TEST_F(CorruptBlockTest, AnAnsweredLengthBeyondTheCapacityIsRefused)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    AnswerWithOverlongData(SimProtocol::ControlPipe, Control);
    uint8_t buffer[64];
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, sizeof buffer), -1);
}

TEST_F(CorruptBlockTest, AnOverlongBulkInAnswerIsRefused)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    AnswerWithOverlongData(SimProtocol::BulkInPipe, BulkIn);
    uint8_t buffer[2048];
    EXPECT_EQ(link.BulkRead(buffer, sizeof buffer), -1);
}

TEST_F(CorruptBlockTest, APathLongerThanItsRoomIsRefused)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    // The room runs from offset 36 to the first area at 64: 27 characters and the NUL.
    EXPECT_FALSE(link.OutputFile(-1, "/" + std::string(27, 'p'), "job"));
    AnswerWithOverlongData(SimProtocol::OutputFilePipe, BulkIn);
    EXPECT_TRUE(link.OutputFile(-1, "/" + std::string(26, 'p'), "job"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m_block.Data() + 36)),
              "/" + std::string(26, 'p'));
}

TEST_F(CorruptBlockTest, ABulkAreaThatStaysBusyFailsTheWriteInsteadOfHangingIt)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    m_block.Data()[SimProtocol::Header::Flags] = SimProtocol::BulkOutBusy;
    const auto start = Clock::now();
    EXPECT_FALSE(link.BulkWrite("G0X1\n", 5));
    EXPECT_GE(ElapsedMs(start), 450);
    EXPECT_LT(ElapsedMs(start), 2000);
    // Nothing to write needs no room.
    EXPECT_TRUE(link.BulkWrite(nullptr, 0));
}

TEST_F(CorruptBlockTest, ATooSmallBlockIsNotOpened)
{
    m_block.Close();
    CSharedMemory::Unlink(SimProtocol::SharedMemoryName(FakeName));
    ASSERT_TRUE(m_block.Create(SimProtocol::SharedMemoryName(FakeName), 20));
    m_block.Data()[SimProtocol::Header::Connected] = SimProtocol::ConnectedBit;
    CSimulatorLink link;
    EXPECT_FALSE(OpenLink(link));
    EXPECT_FALSE(link.IsMapped());
}

} // namespace
