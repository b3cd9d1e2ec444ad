#include "MachineFixture.h"
#include "SimulatorLink.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using Bytes = std::vector<uint8_t>;

TEST_F(MachineTest, ByteOrderProbeSetsSwapOnlyForTheOtherOrder)
{
    EXPECT_FALSE(machine->IsSwapped());
    Connect(true);
    EXPECT_TRUE(machine->IsSwapped());
}

TEST_F(MachineTest, SelectFailsAndClosesWhenTheMachineIsNotReady)
{
    auto fake = std::make_unique<FakeMachineLink>();
    fake->ready = false;
    FakeMachineLink* raw = fake.get();
    CModelingMachine notReady(std::move(fake), std::make_unique<CSimulatorLink>());
    EXPECT_FALSE(notReady.SelectMachine(FakeMachineLink::UniqueName("not ready")));
    EXPECT_EQ(raw->GetDeviceHandle(), -1);
    EXPECT_TRUE(raw->GetName().empty());
}

TEST_F(MachineTest, ThirtyTwoBitValuesGoOutInTheMachinesOrder)
{
    ASSERT_TRUE(machine->SetSpindleRotation(0x01020304));
    EXPECT_EQ(LastCommand().data, (Bytes{0x04, 0x03, 0x02, 0x01}));

    Connect(true);
    const int32_t values[1] = {0x01020304};
    ASSERT_TRUE(machine->SendCommand32(Cmd::SetSpindleRotation, values, 1));
    EXPECT_EQ(LastCommand().data, (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(values[0], 0x01020304) << "the caller's data is left as it was";
}

TEST_F(MachineTest, SixteenBitArraysAreConvertedPerValue)
{
    Connect(true);
    ASSERT_TRUE(machine->MoveToOrigin(12, AxisMask::XY, -1));
    // P3 (number 12) goes out as 11; every value most significant byte first.
    EXPECT_EQ(LastCommand().code, Cmd::MoveToOrigin);
    EXPECT_EQ(LastCommand().data, (Bytes{0x00, 0x0B, 0x00, 0x03, 0xFF, 0xFF}));
    ASSERT_TRUE(machine->MoveToOrigin(9, AxisMask::Z, -1));
    EXPECT_EQ(LastCommand().data, (Bytes{0x00, 0x09, 0x00, 0x04, 0xFF, 0xFF}));
}

TEST_F(MachineTest, QueryWrappersOnAShortReply)
{
    link->replies[Cmd::GetPosition] = link->Encode32({1, 2}); // 8 of 12 bytes
    AxisTriple position{};
    EXPECT_FALSE(machine->GetPosition(position));
    int32_t values[3];
    EXPECT_FALSE(machine->Query32(Cmd::GetPosition, values, 3));
    EXPECT_FALSE(machine->QueryExact(Cmd::GetPosition, values, 12));
    EXPECT_EQ(machine->Query(Cmd::GetPosition, values, 12), 8);
    int16_t words[6];
    EXPECT_FALSE(machine->Query16(Cmd::GetPosition, words, 6));
}

TEST_F(MachineTest, QueryReturnsTheFullReplyConverted)
{
    Connect(true);
    link->SetReply32(Cmd::GetPosition, {-5, 100000, 7});
    AxisTriple position{};
    ASSERT_TRUE(machine->GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{-5, 100000, 7}));
}

TEST_F(MachineTest, ReplyLengthZeroNeverCountsAsReady)
{
    // No reply is ever announced: the query waits out its limit and fails.
    const auto start = std::chrono::steady_clock::now();
    AxisTriple position{};
    EXPECT_FALSE(machine->GetPosition(position));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(CModelingMachine::WaitLimitMs));
    // Paced a millisecond apart, not back to back.
    EXPECT_LE(StatusReads(), CModelingMachine::WaitLimitMs + 1);
    EXPECT_EQ(link->CountOut(Cmd::GetPosition), 1);
    for (const auto& t : link->log)
        EXPECT_NE(t.code, Cmd::ReadReply) << "nothing is read without a reply length";
}

TEST_F(MachineTest, ErrorBitEndsEveryWaitAtOnce)
{
    link->commandErrorBits = CommandStatus::Error;
    link->neverAccepts = true;
    link->SetReply32(Cmd::GetPosition, {1, 2, 3});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(machine->StopOperation()); // acceptance wait
    EXPECT_FALSE(machine->ClearSettings()); // completion wait (fails at acceptance)
    AxisTriple position{};
    EXPECT_FALSE(machine->GetPosition(position)); // reply wait
    EXPECT_FALSE(machine->GetFirmwareVersion());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

TEST_F(MachineTest, CompletionWaitsWhileExecutingAndStopsOnError)
{
    link->executingReads = 3;
    EXPECT_TRUE(machine->ClearSettings());
    EXPECT_GE(link->CountOut(Cmd::ClearSettings), 1);

    link->executingReads = 1000000;
    ASSERT_TRUE(machine->SendCommand(Cmd::ClearSettings, nullptr, 0));
    link->commandErrorBits = CommandStatus::Error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(machine->WaitForCompletion());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(MachineTest, NeverAcceptedCommandFailsAfterTheLimit)
{
    link->neverAccepts = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(machine->PauseCutting());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(CModelingMachine::WaitLimitMs));
    EXPECT_LT(elapsed, std::chrono::milliseconds(CModelingMachine::WaitLimitMs + 1500));
    EXPECT_LE(StatusReads(), CModelingMachine::WaitLimitMs + 1);
}

// Only a regular file is a cutting-data file; the rest is refused with its cause, at once. A
// file another program holds locked is a sharing violation.
TEST_F(MachineTest, SendFileTakesOnlyRegularFiles)
{
    const std::string folder = ::testing::TempDir() + "zr40-send-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);
    std::fclose(std::fopen((folder + "/job.nc").c_str(), "w"));
    std::fclose(std::fopen((folder + "/held.nc").c_str(), "w"));
    const int holder = open((folder + "/held.nc").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const struct
    {
        std::string path;
        int error;
    } cases[] = {{folder + "/job.nc", 0},      {folder, EISDIR},
                 {folder + "/fifo", EACCES},   {"/dev/zero", EACCES},
                 {folder + "/held.nc", EBUSY}, {folder + "/missing.nc", ENOENT}};
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_EQ(machine->SendFile(c.path, "job", &error), c.error == 0) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    EXPECT_EQ(link->outputFiles, std::vector<std::string>{folder + "/job.nc"});
    close(holder);
    std::filesystem::remove_all(folder);
}

TEST_F(MachineTest, FailedStatusReadFailsTheAcceptanceWait)
{
    link->failCommandStatus = true;
    EXPECT_FALSE(machine->ResumeCutting());
    EXPECT_EQ(machine->GetCommandStatus().word0, 0xFFFFFFFFu);
    EXPECT_EQ(machine->GetCommandStatus().word1, 0xFFFFFFFFu);
}

TEST_F(MachineTest, StatusRecordValidityByLength)
{
    link->status.stateWord = 0x802;
    link->status.position = {10, -20, 30};
    link->status.override = 0;
    MachineStatus status;
    EXPECT_EQ(machine->ReadMachineStatus(status), 32);
    EXPECT_EQ(status.State(), 2);
    EXPECT_EQ(status.position, (AxisTriple{10, -20, 30}));
    EXPECT_EQ(status.override, 0);

    link->statusBytes = 16;
    EXPECT_EQ(machine->ReadMachineStatus(status), 16);
    EXPECT_EQ(status.stateWord, 0x802u);
    EXPECT_EQ(status.position, (AxisTriple{-1, -1, -1}));
    EXPECT_EQ(status.override, 255);

    link->statusBytes = 7;
    EXPECT_EQ(machine->ReadMachineStatus(status), 7);
    EXPECT_EQ(status.stateWord, 0xFFFFFFFFu);
    EXPECT_EQ(status.eventWord, 0xFFFFFFFFu);
}

TEST_F(MachineTest, StatusRecordIsConvertedFromTheOtherOrder)
{
    Connect(true);
    link->status.stateWord = 0x10003;
    link->status.position = {-1234, 5678, 0x01020304};
    link->status.spindleSpeed = 8000;
    link->status.word24 = 0x0102;
    link->status.override = 150;
    MachineStatus status;
    ASSERT_EQ(machine->ReadMachineStatus(status), 32);
    EXPECT_EQ(status.stateWord, 0x10003u);
    EXPECT_EQ(status.position, (AxisTriple{-1234, 5678, 0x01020304}));
    EXPECT_EQ(status.spindleSpeed, 8000);
    EXPECT_EQ(status.word24, 0x0102);
    EXPECT_EQ(status.override, 150);
}

TEST_F(MachineTest, SystemReportEndsOnlyOnAChunkEndingInNul)
{
    link->bulkIn = {Bytes{'a', 0, 'b'}, Bytes{}, Bytes{'c', 'd', 0}, Bytes{'e'}};
    std::string report;
    int pieces = 0;
    ASSERT_TRUE(machine->GetSystemReport([&](const char* data, int length) {
        report.append(data, static_cast<size_t>(length));
        ++pieces;
    }));
    EXPECT_EQ(report, std::string("a\0bcd\0", 6));
    EXPECT_EQ(pieces, 3) << "the empty read is passed on too";
    EXPECT_EQ(link->bulkIn.size(), 1u) << "nothing is read after the end";
}

TEST_F(MachineTest, SystemReportFailsOnAReadError)
{
    link->bulkIn = {Bytes{'a'}};
    EXPECT_FALSE(machine->GetSystemReport([](const char*, int) {}));
}

// A machine that keeps answering the report with empty pieces: the read gives up once no data
// has come for the wait limit, instead of holding the panel for ever.
TEST_F(MachineTest, SystemReportOfEndlessEmptyPiecesEndsAtTheWaitLimit)
{
    link->bulkIn = {Bytes{'a'}};
    link->endlessEmptyReads = true;
    int pieces = 0;
    EXPECT_FALSE(machine->GetSystemReport([&](const char*, int) { ++pieces; }));
    EXPECT_GT(pieces, 1);
}

TEST_F(MachineTest, PayloadBufferGrowsInSteps)
{
    EXPECT_EQ(machine->GetPayloadCapacity(), 0u);
    std::vector<int32_t> values(10, 1);
    ASSERT_TRUE(machine->SendCommand32(Cmd::SetSpindleRotation, values.data(), 10));
    EXPECT_EQ(machine->GetPayloadCapacity(), 1024u);
    values.assign(255, 1); // 1020 bytes: fits
    ASSERT_TRUE(machine->SendCommand32(Cmd::SetSpindleRotation, values.data(), 255));
    EXPECT_EQ(machine->GetPayloadCapacity(), 1024u);
    values.assign(256, 1); // 1024 bytes: not below the capacity
    ASSERT_TRUE(machine->SendCommand32(Cmd::SetSpindleRotation, values.data(), 256));
    EXPECT_EQ(machine->GetPayloadCapacity(), 2048u);
    values.assign(700, 1); // 2800 bytes
    ASSERT_TRUE(machine->SendCommand32(Cmd::SetSpindleRotation, values.data(), 700));
    EXPECT_EQ(machine->GetPayloadCapacity(), 3072u);
}

TEST_F(MachineTest, FirmwareTextStopsAtNul)
{
    link->replies[Cmd::GetFirmwareVersion] = {'V', '1', '2', '0', 0, 'x'};
    auto text = machine->GetFirmwareVersion();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "V120");
    link->replies[Cmd::GetFirmwareVersion] = {};
    EXPECT_FALSE(machine->GetFirmwareVersion());
}

TEST_F(MachineTest, LockIsNestedAndReleasedAfterEachTransaction)
{
    link->SetReply32(Cmd::GetPosition, {1, 2, 3});
    AxisTriple position{};
    ASSERT_TRUE(machine->GetPosition(position));
    ASSERT_TRUE(machine->StopOperation());
    EXPECT_EQ(link->GetLockDepth(), 0);
}

// A machine that announces and delivers a longer reply than was asked (160 bytes where 12 were
// asked): each wrapper takes what it asked for and not a byte more.
TEST_F(MachineTest, RepliesLongerThanAskedFillOnlyWhatWasAsked)
{
    // Forty values, 1 to 40, where three were asked for.
    std::vector<uint8_t> many;
    for (int64_t value = 1; value <= 40; ++value) {
        const std::vector<uint8_t> bytes = link->Encode32({value});
        many.insert(many.end(), bytes.begin(), bytes.end());
    }
    link->replies[Cmd::GetPosition] = many;
    AxisTriple position{};
    ASSERT_TRUE(machine->GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{1, 2, 3}));

    struct Row
    {
        int asked;
        int expected;
    };
    for (const Row row : {Row{0, 0}, Row{1, 1}, Row{12, 12}, Row{159, 159}, Row{160, 160}}) {
        SCOPED_TRACE(row.asked);
        std::vector<uint8_t> buffer(static_cast<size_t>(row.asked) + 16, 0xA5);
        EXPECT_EQ(machine->Query(Cmd::GetPosition, buffer.data(), row.asked), row.expected);
        for (size_t i = static_cast<size_t>(row.asked); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xA5) << "byte " << i << " past the buffer";
    }
}
