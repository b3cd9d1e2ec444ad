// The firmware model on its own, driven in-process on a clock of the test's making.
#include "FirmwareModel.h"
#include "MachineCommands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = CFirmwareModel::Clock;

class FirmwareModelTest : public ::testing::Test
{
protected:
    FirmwareModelTest() : m_now(Clock::now()), m_model(Options(), m_now) {}

    static FirmwareOptions Options()
    {
        FirmwareOptions options;
        options.initMs = 1000;
        options.axisSpeed = 10000; // 10 mm/s
        options.quitSkipMs = 500;
        return options;
    }

    void Send(uint16_t code, std::vector<uint8_t> payload = {})
    {
        m_model.ControlOut(code, payload.data(), payload.size(), m_now);
    }
    void Write(const std::string& text)
    {
        ASSERT_EQ(
            m_model.BulkOut(reinterpret_cast<const uint8_t*>(text.data()), text.size(), m_now),
            text.size());
    }
    static std::vector<uint8_t> Move(int32_t x, int32_t y, int32_t z)
    {
        std::vector<uint8_t> payload(16, 0);
        payload[0] = payload[1] = 0xFF;
        const int32_t values[3] = {x, y, z};
        std::memcpy(payload.data() + 4, values, 12);
        return payload;
    }
    uint32_t Word0()
    {
        const std::vector<uint8_t> status =
            m_model.ControlIn(0xC1, Cmd::GetCommandStatus, 8, m_now);
        uint32_t word = 0;
        std::memcpy(&word, status.data(), 4);
        return word;
    }
    void Pass(Clock::duration duration) { m_now += duration; }

    Clock::time_point m_now;
    CFirmwareModel m_model;
};

TEST_F(FirmwareModelTest, InitialisesThroughStatesZeroAndOne)
{
    EXPECT_EQ(m_model.State(m_now), 0);
    Pass(600ms);
    EXPECT_EQ(m_model.State(m_now), 1);
    Pass(500ms);
    EXPECT_EQ(m_model.State(m_now), 2);
    // Nothing moves while the machine initialises.
    m_model.PowerOff(false, m_now);
    m_model.PowerOn(m_now);
    Send(Cmd::JogTo, Move(1000, 0, 0));
    EXPECT_EQ(m_model.Position(m_now), (AxisTriple{0, 0, 0}));
    EXPECT_FALSE(m_model.StateWord(m_now) & StateBit::Moving);
}

TEST_F(FirmwareModelTest, AxesMoveAtTheirSpeed)
{
    Pass(2s);
    Send(Cmd::JogTo, Move(10000, 0, 0));
    Pass(500ms);
    EXPECT_EQ(m_model.Position(m_now)[0], 5000);
    EXPECT_TRUE(m_model.StateWord(m_now) & StateBit::Moving);
    Pass(600ms);
    EXPECT_EQ(m_model.Position(m_now)[0], 10000);
    EXPECT_FALSE(m_model.StateWord(m_now) & StateBit::Moving);
}

TEST_F(FirmwareModelTest, NcLinesRunOneAfterAnotherWithTheirModes)
{
    Pass(2s);
    Send(Cmd::SetOperationMode, {OperationMode::TestCut});
    Write("G91 G0 X1\nX1 Y1 (comment X99)\nG90 G20 X1 ; inches\nG21 M3\n");
    EXPECT_TRUE(Word0() & StateBit::LineBusy);
    Pass(5s);
    EXPECT_EQ(m_model.Position(m_now), (AxisTriple{25400, 1000, 0}));
    EXPECT_EQ(m_model.ReceiveCounter(), 57u);
    EXPECT_TRUE(m_model.StateWord(m_now) & StateBit::SpindleRotating);
    const uint32_t word = Word0();
    EXPECT_TRUE(word & StateBit::LineReady);
    EXPECT_FALSE(word & StateBit::LineBusy);
}

TEST_F(FirmwareModelTest, ReceiveCounterCountsALineWhenItIsTakenIn)
{
    Pass(2s);
    Send(Cmd::SetOperationMode, {OperationMode::TestCut});
    Write("G0 X10\n");
    EXPECT_EQ(m_model.ReceiveCounter(), 7u);
    Write("G0 X0\n");
    // The second line waits for the first to finish.
    EXPECT_EQ(m_model.ReceiveCounter(), 7u);
    Pass(1100ms);
    m_model.Advance(m_now);
    EXPECT_EQ(m_model.ReceiveCounter(), 13u);
    // A last line without its terminator is taken once nothing more follows.
    Pass(1100ms);
    Write("G0 X5");
    EXPECT_EQ(m_model.ReceiveCounter(), 13u);
    Pass(50ms);
    m_model.Advance(m_now);
    EXPECT_EQ(m_model.ReceiveCounter(), 18u);
}

// An output file runs as NC code by the rule the panel decides by (the first byte after the line
// breaks is "%" or "("); any other file is raw data and moves nothing.
TEST_F(FirmwareModelTest, AnOutputFileIsNcCodeByThePanelsRule)
{
    const std::pair<const char*, int32_t> rows[] = {
        {"%\nG0 X5\n", 5000}, {"\r\n\n(part)\nG0 X5\n", 5000},
        {"G0 X5\n", 0},       {" %\nG0 X5\n", 0},
        {"N1 G0 X5\n", 0},    {"\n\n", 0},
    };
    for (const auto& [data, x] : rows) {
        CFirmwareModel model(Options(), m_now);
        Pass(2s);
        const std::string path = ::testing::TempDir() + "model-rule.nc";
        std::ofstream(path) << data;
        ASSERT_TRUE(model.OutputFile(path, m_now));
        Pass(5s);
        EXPECT_EQ(model.Position(m_now)[0], x) << data;
    }
}

TEST_F(FirmwareModelTest, QuitSkipsDataForAWhile)
{
    Pass(2s);
    const std::string path = ::testing::TempDir() + "model-job.prn";
    std::ofstream(path) << std::string(100000, 'Z');
    ASSERT_TRUE(m_model.OutputFile(path, m_now));
    Pass(1s);
    EXPECT_EQ(m_model.State(m_now), 3);
    Send(Cmd::PauseCutting);
    Send(Cmd::QuitCutting);
    EXPECT_TRUE(m_model.StateWord(m_now) & StateBit::SkippingData);
    Pass(600ms);
    EXPECT_EQ(m_model.StateWord(m_now) & (StateBit::SkippingData | StateBit::StateMask),
              uint32_t{2} | StateBit::Paused * 0);
    EXPECT_TRUE(m_model.StateWord(m_now) & StateBit::Paused);
    Send(Cmd::ResumeCutting);
    EXPECT_EQ(m_model.StateWord(m_now), 2u);
}

TEST_F(FirmwareModelTest, AutoPowerOffSwitchesAnIdleMachineOffAndIsReportedOnce)
{
    Pass(2s);
    std::vector<uint8_t> seconds(4);
    const int32_t value = 2;
    std::memcpy(seconds.data(), &value, 4);
    Send(Cmd::SetAutoPowerOffTime, seconds);
    Pass(1s);
    m_model.Advance(m_now);
    EXPECT_TRUE(m_model.IsPowered());
    Pass(1500ms);
    m_model.Advance(m_now);
    EXPECT_FALSE(m_model.IsPowered());
    m_model.PowerOn(m_now);
    Send(Cmd::GetAutoPowerOffFlag);
    EXPECT_EQ(m_model.ControlIn(0xC1, Cmd::ReadReply, 1, m_now), std::vector<uint8_t>{1});

    // The flag counts auto power-offs in a row, so a panel that saw 1 notices the next one; a
    // manual power-off clears it.
    const std::vector<std::pair<bool, uint8_t>> offs{{true, 2}, {false, 0}, {true, 1}};
    for (const auto& [automatic, flag] : offs) {
        m_model.PowerOff(automatic, m_now);
        m_model.PowerOn(m_now);
        Send(Cmd::GetAutoPowerOffFlag);
        EXPECT_EQ(m_model.ControlIn(0xC1, Cmd::ReadReply, 1, m_now), std::vector<uint8_t>{flag});
    }
}

TEST_F(FirmwareModelTest, CommandsWithWrongPayloadsFail)
{
    Pass(2s);
    Send(Cmd::SetUserOrigin, {1, 2, 3});
    std::vector<uint8_t> status = m_model.ControlIn(0xC1, Cmd::GetCommandStatus, 8, m_now);
    ASSERT_EQ(status.size(), 8u);
    EXPECT_TRUE(status[4] & CommandStatus::Error);
    Send(0x7777);
    status = m_model.ControlIn(0xC1, Cmd::GetCommandStatus, 8, m_now);
    EXPECT_TRUE(status[4] & CommandStatus::Error);
    // The next good command clears the error and announces its reply length.
    Send(Cmd::GetPosition);
    status = m_model.ControlIn(0xC1, Cmd::GetCommandStatus, 8, m_now);
    EXPECT_FALSE(status[4] & CommandStatus::Error);
    EXPECT_EQ(status[7], 12);
}

TEST_F(FirmwareModelTest, MotorLoadTestOfAnyTravelStaysInsideTheTravel)
{
    Pass(2s);
    struct Row
    {
        int32_t travel;
        int32_t x;
    };
    // Travel in X: 0 to 203 mm; each test starts where the last one left the axis, so the
    // second one adds the largest travel to a position already at the end.
    for (const Row row :
         {Row{INT32_MAX, 203000}, Row{INT32_MAX, 203000}, Row{INT32_MIN, 0}, Row{-5000, 0}}) {
        SCOPED_TRACE(row.travel);
        std::vector<uint8_t> payload(8, 0);
        std::memcpy(payload.data() + 4, &row.travel, 4);
        Send(Cmd::TestMotorLoadX, payload);
        Pass(60s);
        EXPECT_EQ(m_model.Position(m_now)[0], row.x);
    }
}

TEST_F(FirmwareModelTest, BigEndianMachineAnswersInItsOrder)
{
    FirmwareOptions options = Options();
    options.bigEndian = true;
    CFirmwareModel model(options, m_now);
    const std::vector<uint8_t> order = model.ControlIn(0xC1, Cmd::GetByteOrder, 4, m_now);
    EXPECT_EQ(order, (std::vector<uint8_t>{0, 0, 0x12, 0x34}));
}

} // namespace

namespace {

class LineExecutionTest : public FirmwareModelTest
{
protected:
    void SetUp() override
    {
        Pass(2s);
        Send(Cmd::SetOperationMode, {OperationMode::TestCut});
    }
    void Override(uint8_t percent) { Send(Cmd::SetCuttingSpeed, {percent}); }
    int32_t X() { return m_model.Position(m_now)[0]; }
};

TEST_F(LineExecutionTest, TestCutOptionTakesTheNextLineInWhileOneRuns)
{
    struct Row
    {
        uint8_t option;
        uint32_t counterWhileFirstRuns;
    };
    for (const Row row : {Row{0, 7}, Row{1, 13}}) {
        SCOPED_TRACE(int(row.option));
        Send(Cmd::SetTestCutOption, {row.option});
        const uint32_t start = m_model.ReceiveCounter();
        Write("G0 X10\n");
        Write("G0 X0\n");
        Write("G0 X5\n");
        Pass(100ms);
        EXPECT_EQ(m_model.ReceiveCounter() - start, row.counterWhileFirstRuns);
        EXPECT_TRUE(Word0() & StateBit::LineBusy);
        Pass(5s);
        EXPECT_EQ(X(), 5000);
        EXPECT_FALSE(Word0() & StateBit::LineBusy);
    }
}

TEST_F(LineExecutionTest, FeedMovesGoAtTheProgrammedFeedScaledByTheOverride)
{
    struct Row
    {
        const char* line;
        uint8_t override;
        int32_t xAfterOneSecond;
    };
    // The axis speed (10 mm/s) limits the programmed feed, not the override.
    for (const Row row : {Row{"G1 F300 X50\n", 100, 5000}, Row{"G1 F300 X50\n", 50, 2500},
                          Row{"G1 F1200 X50\n", 100, 10000}, Row{"G0 X50\n", 50, 10000}}) {
        SCOPED_TRACE(row.line);
        Send(Cmd::StopOperation);
        m_model.ForceState(2, m_now);
        Send(Cmd::SetOperationMode, {OperationMode::TestCut});
        Write("G90 G0 X0\n");
        Pass(10s);
        Override(row.override);
        Write(row.line);
        Pass(1s);
        EXPECT_NEAR(X(), row.xAfterOneSecond, 20);
    }
}

TEST_F(LineExecutionTest, ArcsFollowTheirCircle)
{
    // A quarter circle of 10 mm radius around (0, 10) from (0, 0) to (10, 10), given by its
    // centre or by its radius; 15.708 mm at 10 mm/s.
    for (const char* arc : {"G3 X10 Y10 I0 J10 F600\n", "G3 X10 Y10 R10 F600\n"}) {
        SCOPED_TRACE(arc);
        m_model.ForceState(2, m_now);
        Send(Cmd::SetOperationMode, {OperationMode::TestCut});
        Write("G90 G0 X0 Y0\n");
        Pass(30s);
        Write(arc);
        Pass(785ms);
        const AxisTriple half = m_model.Position(m_now);
        EXPECT_NEAR(half[0], 7071, 30);
        EXPECT_NEAR(half[1], 2929, 30);
        Pass(1s);
        EXPECT_EQ(m_model.Position(m_now), (AxisTriple{10000, 10000, 0}));
    }
}

TEST_F(LineExecutionTest, NumbersOfAnySizeGoNoFurtherThanTheTravel)
{
    const std::string nines(400, '9');
    struct Row
    {
        std::string line;
        int32_t x;
    };
    // Travel in X: 0 to 203 mm. The machine reads its lines as the program reader does: a
    // number with more digits than any value has, or a code beyond any code, makes the line one
    // that moves nothing.
    for (const Row& row : {Row{"G90 G0 X1999999\n", 203000}, Row{"G90 G0 X-1999999\n", 0},
                           Row{"G90 G0 X200\nG91 X1999000\nG90\n", 203000},
                           Row{"G90 G0 X100\nX" + nines + "\nX-" + nines + "\n", 100000},
                           Row{"G0 X0\nG99999999999 G1 X10 F" + nines + "\n", 0},
                           Row{"G0 X0 Y0\nG2 X10 Y10 R" + nines + "\n", 0},
                           Row{"G0 X0 Y0\nG3 X10 Y0 I-" + nines + " J" + nines + "\n", 0}}) {
        SCOPED_TRACE(row.line.substr(0, 40));
        Write(row.line);
        for (int second = 0; second < 60; ++second) {
            Pass(1s);
            const AxisTriple position = m_model.Position(m_now);
            EXPECT_GE(position[0], 0);
            EXPECT_LE(position[0], 203000);
        }
        EXPECT_EQ(X(), row.x);
    }
}

// Lines run in the coordinate system they select, G54..G59 and G54.1 P1..P300 alike; the axes a
// line does not name stay where they are, also when it changes the system.
TEST_F(LineExecutionTest, LinesRunInTheCoordinateSystemTheySelect)
{
    const auto setOrigin = [this](uint16_t code, int32_t x, int32_t y) {
        std::vector<uint8_t> payload(12, 0);
        const int32_t values[3] = {x, y, 0};
        std::memcpy(payload.data(), values, 12);
        Send(code, payload);
        Pass(1s);
    };
    setOrigin(Cmd::SetWorkOriginBase, 10000, 1000);          // G54
    setOrigin(Cmd::SetWorkOriginBase + 1, 30000, 3000);      // G55
    setOrigin(Cmd::SetExtraWorkOriginBase, 20000, 2000);     // P1
    setOrigin(Cmd::SetExtraWorkOriginBase + 1, 40000, 4000); // P2
    Send(Cmd::SetOperationMode, {OperationMode::TestCut});
    struct Row
    {
        const char* lines;
        AxisTriple position;
    };
    for (const Row& row :
         {Row{"G90 G54 G0 X5 Y0\n", {15000, 1000, 0}}, Row{"G54.1 P1 X5\n", {25000, 1000, 0}},
          Row{"G55 Y1\n", {25000, 4000, 0}}, Row{"G54.1 P2 X5 Y0\n", {45000, 4000, 0}},
          Row{"G91 G54.1 P1 X1\nG90\n", {46000, 4000, 0}}, Row{"X0\n", {20000, 4000, 0}}}) {
        SCOPED_TRACE(row.lines);
        Write(row.lines);
        Pass(30s);
        EXPECT_EQ(m_model.Position(m_now), row.position);
    }
}

TEST_F(LineExecutionTest, PausedLineResumesAtItsSpeed)
{
    Write("G1 F300 X50\n");
    Pass(1s);
    Send(Cmd::PauseCutting);
    Pass(1s);
    EXPECT_NEAR(X(), 5000, 20);
    Send(Cmd::ResumeCutting);
    Pass(1s);
    EXPECT_NEAR(X(), 10000, 20);
}

TEST_F(LineExecutionTest, DataArrivingWhileSkippingIsDropped)
{
    Write("G0 X50\n");
    Pass(1s);
    Send(Cmd::QuitCutting);
    const int32_t stopped = X();
    const uint32_t counter = m_model.ReceiveCounter();
    Write("G0 X0\n");
    EXPECT_EQ(m_model.ReceiveCounter(), counter + 6);
    Pass(2s);
    EXPECT_EQ(X(), stopped);
    EXPECT_FALSE(Word0() & StateBit::LineBusy);
}

} // namespace
