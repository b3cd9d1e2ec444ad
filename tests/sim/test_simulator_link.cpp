// CSimulatorLink against the real simulator process, and against blocks written by a faulty
// simulator.
#include "MachineCommands.h"
#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorLink.h"
#include "SimulatorProcess.h"
#include "SimulatorProtocol.h"
#include "StandInSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* Model = "Quenby ZR-40";

long ElapsedMs(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Whether this process holds a descriptor of a simulator block.
bool HoldsABlock()
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string().find("IPC Memory for") != std::string::npos)
            return true;
    }
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
    EXPECT_FALSE(link.HasBlock());
    EXPECT_FALSE(HoldsABlock());

    m_sim->Control("replug");
    EXPECT_TRUE(link.Open());
    EXPECT_TRUE(HoldsABlock());
    link.Close();
    EXPECT_FALSE(HoldsABlock());
}

TEST_F(SimulatorLinkTest, OpeningWithoutSimulatorFails)
{
    CSimulatorLink link;
    link.SetName("No Such Machine");
    EXPECT_FALSE(link.Open());
    EXPECT_FALSE(link.HasBlock());
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
    OpenLink(link);
    m_sim->ClearLog();
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(LogOnceItHas(*m_sim, "disconnect"), std::vector<std::string>{"disconnect"});
    // The link's own closing and opening are no device changes: an owner that reconnects on
    // notices would otherwise be sent round again by its own reconnection.
    EXPECT_FALSE(WaitReadable(link.GetNotificationFd(), 0));
    // Reconnect keeps the block while the connection check succeeds.
    m_sim->ClearLog();
    ASSERT_TRUE(link.Reconnect());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(m_sim->LogOf("disconnect").empty());
}

TEST_F(SimulatorLinkTest, NoticesWaitingAreHandedOnAsOne)
{
    StartSimulator();
    CSimulatorLink link;
    NoticeCounter notices;
    notices.Attach(link);
    OpenLink(link);
    for (const char* change : {"unplug", "replug", "unplug", "replug"})
        ASSERT_EQ(m_sim->Control(change), "ok\n");
    // The simulator has sent each notice before it answered the command.
    link.ProcessNotifications();
    EXPECT_EQ(notices.events, std::vector<unsigned>{DeviceNodesChanged});
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
    EXPECT_FALSE(HoldsABlock());
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

TEST_F(SimulatorLinkTest, AKilledSimulatorIsALostDeviceEvenWhenANewOneTookItsPlace)
{
    StartSimulator();
    CSimulatorLink link;
    NoticeCounter notices;
    notices.Attach(link);
    OpenLink(link);
    m_sim->Kill();
    uint8_t buffer[8];
    // The abandoned block is recognised before any wait for an answer.
    const auto start = Clock::now();
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_LT(ElapsedMs(start), 400);
    EXPECT_FALSE(link.HasBlock());
    EXPECT_EQ(link.GetDeviceHandle(), -1);
    ASSERT_TRUE(WaitReadable(link.GetNotificationFd(), 1000));
    link.ProcessNotifications();
    EXPECT_EQ(notices.events, std::vector<unsigned>{DeviceNodesChanged});

    // A new simulator: the loss is still reported by one failed reconnection, then the new
    // one is taken up. A block nobody serves any more is never opened.
    ASSERT_TRUE(m_sim->Start());
    EXPECT_FALSE(link.Reconnect());
    EXPECT_TRUE(link.Reconnect());
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), 8);
    m_sim->Kill();
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_FALSE(link.Reconnect());
    EXPECT_FALSE(link.Reconnect());
    EXPECT_FALSE(HoldsABlock());
}

TEST_F(SimulatorLinkTest, ASimulatorThatEndsTellsItsClients)
{
    StartSimulator();
    CSimulatorLink link;
    NoticeCounter notices;
    notices.Attach(link);
    OpenLink(link);
    m_sim->Stop();
    ASSERT_TRUE(WaitReadable(link.GetNotificationFd(), 1000));
    link.ProcessNotifications();
    EXPECT_EQ(notices.events, std::vector<unsigned>{DeviceNodesChanged});
    EXPECT_FALSE(link.Reconnect());
}

TEST_F(SimulatorLinkTest, ASimulatorThatDoesNotAnswerIsNotOpened)
{
    StartSimulator();
    m_sim->Control("stop-answering");
    CSimulatorLink link;
    link.SetName(Model);
    const auto start = Clock::now();
    EXPECT_FALSE(link.Open());
    EXPECT_LT(ElapsedMs(start), 1000);
    EXPECT_FALSE(link.HasBlock());
    m_sim->Control("resume-answering");
    EXPECT_TRUE(link.Open());
}

TEST_F(SimulatorLinkTest, FilesThatAreNotRegularAreRefusedAndTheSimulatorLives)
{
    StartSimulator();
    CSimulatorLink link;
    OpenLink(link);
    const std::string folder = ::testing::TempDir() + "zr40-odd-files-" + std::to_string(getpid());
    const std::string fifo = folder + "/fifo";
    const std::string job = folder + "/job.nc";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {folder, fifo, std::string("/dev/zero")}) {
        EXPECT_FALSE(link.OutputFile(-1, path, "job")) << path;
        EXPECT_EQ(m_sim->State(), 2) << path;
    }
    std::FILE* file = std::fopen(job.c_str(), "w");
    ASSERT_TRUE(file);
    std::fputs("G91\nG0X1\n", file);
    std::fclose(file);
    EXPECT_TRUE(link.OutputFile(-1, job, "job"));
    std::filesystem::remove_all(folder);
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
    // No such file: the simulator refuses it, but it was handed the full path.
    EXPECT_FALSE(link.OutputFile(-1, "relative/job.nc", "job"));
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
using Standin = CStandInSimulator;
using SimProtocol::Pipe;

class CorruptBlockTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_standin.Start()); }

    bool OpenLink(CSimulatorLink& link)
    {
        link.SetName(FakeName);
        return link.Open();
    }
    // Answers every request of a pipe like a machine, then writes a data length far beyond
    // the capacity.
    void AnswerWithOverlongData(Pipe overlong, uint16_t area)
    {
        m_standin.SetHandler([overlong, area](Standin& s, Pipe pipe) {
            s.AnswerLikeAMachine(pipe);
            if (pipe == overlong)
                s.Put16(area + SimProtocol::Area::DataLength, 0xFFFF);
            return true;
        });
    }

    Standin m_standin{FakeName};
};

TEST_F(CorruptBlockTest, AreasOutsideTheBlockAreRefusedWithoutATransfer)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    uint8_t buffer[64];
    const auto start = Clock::now();
    m_standin.Put16(SimProtocol::Header::ControlArea, Standin::BlockSize - 4); // past the end
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_FALSE(link.VendorWrite(Cmd::PauseCutting, nullptr, 0));
    m_standin.Put16(SimProtocol::Header::ControlArea, Standin::ControlArea);
    m_standin.Put16(Standin::ControlArea + SimProtocol::Area::Capacity, 4000); // data past it
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    m_standin.Put16(Standin::ControlArea + SimProtocol::Area::Capacity, Standin::Capacity);
    m_standin.Put16(Standin::ControlArea + SimProtocol::Area::MaxPacket, 0); // divides by zero
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    m_standin.Put16(SimProtocol::Header::ControlArea, 10); // inside the header
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    m_standin.Put16(SimProtocol::Header::BulkOutArea, 0xFFF0);
    EXPECT_FALSE(link.BulkWrite("G0X1\n", 5));
    m_standin.Put16(SimProtocol::Header::BulkInArea, 0xFFF0);
    EXPECT_EQ(link.BulkRead(buffer, sizeof buffer), -1);
    EXPECT_FALSE(link.OutputFile(-1, "/tmp/x.nc", "job"));
    // Refused before any handshake: none of these waited for an answer.
    EXPECT_LT(ElapsedMs(start), 400);
}

TEST_F(CorruptBlockTest, AnAnsweredLengthBeyondTheCapacityIsRefused)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    AnswerWithOverlongData(SimProtocol::ControlPipe, Standin::ControlArea);
    uint8_t buffer[64];
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, sizeof buffer), -1);
    AnswerWithOverlongData(SimProtocol::BulkInPipe, Standin::BulkInArea);
    uint8_t bulk[2048];
    EXPECT_EQ(link.BulkRead(bulk, sizeof bulk), -1);
}

TEST_F(CorruptBlockTest, APathLongerThanItsRoomIsRefused)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    // The room runs from offset 36 to the first area at 64: 27 characters and the NUL.
    EXPECT_FALSE(link.OutputFile(-1, "/" + std::string(27, 'p'), "job"));
    EXPECT_TRUE(link.OutputFile(-1, "/" + std::string(26, 'p'), "job"));
    char path[28] = {};
    ASSERT_TRUE(m_standin.Block().Read(36, path, sizeof path));
    EXPECT_EQ(std::string(path), "/" + std::string(26, 'p'));
}

TEST_F(CorruptBlockTest, ABulkAreaThatStaysBusyFailsTheWriteInsteadOfHangingIt)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    m_standin.SetByte(SimProtocol::Header::Flags, SimProtocol::BulkOutBusy);
    const auto start = Clock::now();
    EXPECT_FALSE(link.BulkWrite("G0X1\n", 5));
    EXPECT_GE(ElapsedMs(start), 450);
    EXPECT_LT(ElapsedMs(start), 2000);
    // Nothing to write needs no room.
    EXPECT_TRUE(link.BulkWrite(nullptr, 0));
}

TEST_F(CorruptBlockTest, ATooSmallBlockIsNotOpened)
{
    ASSERT_EQ(ftruncate(m_standin.Block().Fd(), 20), 0);
    CSimulatorLink link;
    EXPECT_FALSE(OpenLink(link));
    EXPECT_FALSE(link.HasBlock());
}

// A block that another user owns, or that others than its owner may write, could be changed
// under the link: it is not opened.
TEST_F(CorruptBlockTest, ABlockOthersCouldChangeIsNotOpened)
{
    struct Case
    {
        const char* what;
        mode_t mode;
        bool otherOwner;
    };
    for (const Case& c :
         {Case{"writable by all", 0666, false}, Case{"writable by the group", 0620, false},
          Case{"another user's", 0600, true}}) {
        const int fd = m_standin.Block().Fd();
        ASSERT_EQ(fchmod(fd, c.mode), 0);
        if (c.otherOwner && (geteuid() != 0 || fchown(fd, 65534, 65534) != 0)) {
            ADD_FAILURE() << "cannot give the block away without root";
            continue;
        }
        CSimulatorLink link;
        EXPECT_FALSE(OpenLink(link)) << c.what;
        EXPECT_FALSE(link.HasBlock()) << c.what;
        ASSERT_EQ(fchown(fd, geteuid(), getegid()), 0);
        ASSERT_EQ(fchmod(fd, 0600), 0);
        EXPECT_TRUE(OpenLink(link)) << c.what;
    }
}

TEST_F(CorruptBlockTest, ControlInEndsOnAShortPacket)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    // A short packet and then more data, which a link that went on would take in too.
    m_standin.controlInPackets = {{1, 2, 3, 4}, {5, 6, 7, 8, 9, 10, 11, 12}};
    uint8_t buffer[64] = {};
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, sizeof buffer), 4);
    // Full packets go on until the length asked for is reached.
    m_standin.controlInPackets = {std::vector<uint8_t>(16, 7), std::vector<uint8_t>(16, 8)};
    EXPECT_EQ(link.VendorRead(Cmd::GetMachineStatus, buffer, 24), 24);
    EXPECT_EQ(buffer[23], 8);
}

// Waits that end at their limit, whatever the simulator answers.
TEST_F(CorruptBlockTest, AStreamOfStaleAnswersDoesNotStretchTheWait)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    m_standin.SetHandler([](Standin& s, Pipe pipe) {
        for (int i = 0; i < 1000 && !s.Stopping(); ++i) {
            s.Acknowledge(pipe, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    });
    uint8_t buffer[8];
    const auto start = Clock::now();
    EXPECT_EQ(link.VendorRead(Cmd::GetCommandStatus, buffer, 8), -1);
    EXPECT_LT(ElapsedMs(start), 600);
    EXPECT_TRUE(link.HasBlock()) << "a simulator that answers badly is still there";
}

TEST_F(CorruptBlockTest, ATransferAnsweredStageByStageEndsAtItsLimit)
{
    CSimulatorLink link;
    ASSERT_TRUE(OpenLink(link));
    // Each stage answered just inside its handshake time.
    m_standin.SetHandler([](Standin& s, Pipe pipe) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return s.AnswerLikeAMachine(pipe);
    });
    char id[64];
    const auto start = Clock::now();
    EXPECT_FALSE(link.QueryDeviceId(link.GetDeviceHandle(), id, sizeof id));
    // Four stages of 400 ms each would have taken 1600 ms.
    EXPECT_LT(ElapsedMs(start), SimProtocol::TransferTimeoutMs + 350);
}

// The block changing size under the link as fast as the stand-in can make it: the link gives
// it up as a lost device instead of faulting on it.
TEST_F(CorruptBlockTest, ABlockShrunkUnderTheLinkIsALostDevice)
{
    CSimulatorLink link;
    NoticeCounter notices;
    notices.Attach(link);
    ASSERT_TRUE(OpenLink(link));
    std::atomic<bool> done{false};
    std::thread shrinker([&] {
        const int fd = m_standin.Block().Fd();
        while (!done) {
            (void)ftruncate(fd, Standin::ControlArea + 8);
            (void)ftruncate(fd, Standin::BlockSize);
        }
    });
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    char id[64];
    while (link.HasBlock() && Clock::now() < deadline)
        link.QueryDeviceId(link.GetDeviceHandle(), id, sizeof id);
    done = true;
    shrinker.join();
    EXPECT_FALSE(link.HasBlock());
    ASSERT_TRUE(WaitReadable(link.GetNotificationFd(), 1000));
    link.ProcessNotifications();
    EXPECT_EQ(notices.events, std::vector<unsigned>{DeviceNodesChanged});
}

} // namespace
