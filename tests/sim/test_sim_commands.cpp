// Every command of the command table through CModelingMachine and CSimulatorLink against the
// real simulator, in both byte orders, with the effect the firmware model gives it.
#include "ModelingMachine.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const AxisTriple Low{0, 0, -60000};
const AxisTriple High{203000, 152000, 0};

class SimCommandsTest : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        m_sim = std::make_unique<CSimulatorProcess>(std::vector<std::string>{
            "--byte-order", GetParam(), "--speed", "200000", "--quit-skip-ms", "300"});
        ASSERT_TRUE(m_sim->Start());
        ASSERT_TRUE(m_machine.UseSimulator({}));
        m_sim->ClearLog();
    }

    bool WaitUntilStopped(int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            MachineStatus status;
            if (m_machine.ReadMachineStatus(status) >= 8 && !(status.stateWord & StateBit::Moving))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    bool WaitForState(int state, int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            MachineStatus status;
            if (m_machine.ReadMachineStatus(status) >= 8 && status.State() == state)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    uint32_t StateWord()
    {
        MachineStatus status;
        m_machine.ReadMachineStatus(status);
        return status.stateWord;
    }

    std::string WriteFile(const std::string& name, const std::string& text)
    {
        const std::string path = ::testing::TempDir() + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::unique_ptr<CSimulatorProcess> m_sim;
    CModelingMachine m_machine;
};

TEST_P(SimCommandsTest, ByteOrderIsLearnedAtConnection)
{
    EXPECT_EQ(m_machine.IsSwapped(), GetParam() != "little");
    MachineStatus status;
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.State(), MachineState::Ready);
    EXPECT_EQ(status.position, (AxisTriple{0, 0, 0}));
    EXPECT_EQ(status.override, 100);
}

TEST_P(SimCommandsTest, FirmwareTextReadsAsVersion120)
{
    const std::optional<std::string> text = m_machine.GetFirmwareVersion();
    ASSERT_TRUE(text.has_value());
    const size_t v = text->find('V');
    ASSERT_NE(v, std::string::npos);
    EXPECT_EQ(std::stoi(text->substr(v + 1, 3)), 120);
}

TEST_P(SimCommandsTest, JogAndMoveRunAtFiniteSpeedWithinTheTravel)
{
    AxisTriple low, high;
    ASSERT_TRUE(m_machine.GetMoveRange(low, high));
    EXPECT_EQ(low, Low);
    EXPECT_EQ(high, High);

    ASSERT_TRUE(m_machine.JogTo(-1, {50000, 20000, -10000}));
    EXPECT_TRUE(StateWord() & StateBit::Moving);
    ASSERT_TRUE(WaitUntilStopped());
    AxisTriple position;
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{50000, 20000, -10000}));

    // Beyond the travel: the axes stop at its ends.
    ASSERT_TRUE(m_machine.MoveTo(-1, {900000, -5000, 7000}));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{High[0], 0, 0}));

    ASSERT_TRUE(m_machine.MoveToViewPosition(-1));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{Low[0], High[1], High[2]}));
    EXPECT_EQ(m_sim->LogOf("0x0500"), std::vector<std::string>{"0x0500 ffff"});
}

TEST_P(SimCommandsTest, StopOperationHaltsAMove)
{
    m_sim->Control("speed 20000");
    ASSERT_TRUE(m_machine.JogTo(-1, {200000, 0, 0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(m_machine.StopOperation());
    EXPECT_FALSE(StateWord() & StateBit::Moving);
    AxisTriple first, second;
    ASSERT_TRUE(m_machine.GetPosition(first));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(m_machine.GetPosition(second));
    EXPECT_EQ(first, second);
    EXPECT_GT(first[0], 0);
    EXPECT_LT(first[0], 200000);
}

TEST_P(SimCommandsTest, OriginsOfEveryCoordinateSystemRoundTrip)
{
    AxisTriple origin;
    ASSERT_TRUE(m_machine.SetUserOrigin({1000, 2000, -3000}));
    ASSERT_TRUE(m_machine.GetUserOrigin(origin));
    EXPECT_EQ(origin, (AxisTriple{1000, 2000, -3000}));
    ASSERT_TRUE(m_machine.SetExofsOrigin({-1, -2, -3}));
    ASSERT_TRUE(m_machine.GetExofsOrigin(origin));
    EXPECT_EQ(origin, (AxisTriple{-1, -2, -3}));
    for (int n = 54; n <= 59; ++n) {
        ASSERT_TRUE(m_machine.SetWorkOrigin(n, {n, 10 * n, -n}));
    }
    for (int n = 54; n <= 59; ++n) {
        ASSERT_TRUE(m_machine.GetWorkOrigin(n, origin));
        EXPECT_EQ(origin, (AxisTriple{n, 10 * n, -n}));
    }
    for (int p : {1, 150, 300}) {
        ASSERT_TRUE(m_machine.SetExtraWorkOrigin(p, {p * 100, p * 10, -p}));
    }
    for (int p : {1, 150, 300}) {
        ASSERT_TRUE(m_machine.GetExtraWorkOrigin(p, origin));
        EXPECT_EQ(origin, (AxisTriple{p * 100, p * 10, -p}));
    }
    ASSERT_TRUE(m_machine.GetExtraWorkOrigin(2, origin));
    EXPECT_EQ(origin, (AxisTriple{0, 0, 0}));
}

TEST_P(SimCommandsTest, MoveToOriginFollowsTheAxisMask)
{
    ASSERT_TRUE(m_machine.SetUserOrigin({10000, 20000, -30000}));
    ASSERT_TRUE(m_machine.SetExtraWorkOrigin(300, {40000, 50000, -5000}));
    AxisTriple position;
    ASSERT_TRUE(m_machine.MoveToOrigin(CoordSystem::User, AxisMask::XY, -1));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{10000, 20000, 0}));
    ASSERT_TRUE(m_machine.MoveToOrigin(CoordSystem::User, AxisMask::Z, -1));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{10000, 20000, -30000}));
    ASSERT_TRUE(m_machine.MoveToOrigin(CoordSystem::LastExtra, AxisMask::XY, -1));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{40000, 50000, -30000}));
    ASSERT_TRUE(m_machine.MoveToOrigin(CoordSystem::Machine, AxisMask::XY, -1));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{0, 0, -30000}));
}

TEST_P(SimCommandsTest, SpindleSpeedModeAndOverride)
{
    ASSERT_TRUE(m_machine.SetSpindleRotation(1000));
    MachineStatus status;
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_TRUE(status.stateWord & StateBit::SpindleRotating);
    EXPECT_GT(status.spindleSpeed, 0);
    int32_t words[2];
    ASSERT_TRUE(m_machine.GetSpindleRotation(words));
    EXPECT_EQ(words[0], status.spindleSpeed);
    ASSERT_TRUE(m_machine.SetSpindleRotation(0));
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_FALSE(status.stateWord & StateBit::SpindleRotating);
    EXPECT_EQ(status.spindleSpeed, 0);

    ASSERT_TRUE(m_machine.SetCuttingSpeed(150));
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.override, 150);
    ASSERT_TRUE(m_machine.SetCuttingSpeed(300));
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.override, 200);
    EXPECT_EQ(m_sim->LogOf("0x0307"), (std::vector<std::string>{"0x0307 96", "0x0307 ff"}));

    EXPECT_EQ(m_machine.GetCuttingSpeedMode(), 1);
    ASSERT_TRUE(m_machine.SetCuttingSpeedMode(0));
    EXPECT_EQ(m_machine.GetCuttingSpeedMode(), 0);
    EXPECT_EQ(m_sim->Status()["mode"], "manual");
}

TEST_P(SimCommandsTest, SettingsOffsetsCorrectionAndAutoPowerOff)
{
    MachineSettings settings;
    ASSERT_TRUE(m_machine.GetMachineSettings(settings));
    settings.byte0 = 0xA5;
    settings.commandSet = 2;
    settings.ncDecimalPoint = 3;
    settings.byte5 = 0x5A;
    ASSERT_TRUE(m_machine.SetMachineSettings(settings));
    MachineSettings back;
    ASSERT_TRUE(m_machine.GetMachineSettings(back));
    EXPECT_EQ(std::memcmp(&back, &settings, sizeof settings), 0);

    for (int i = 1; i <= 8; ++i)
        ASSERT_TRUE(m_machine.SetToolOffset(i, i * 111 - 500));
    for (int i = 1; i <= 8; ++i) {
        int32_t offset = 0;
        ASSERT_TRUE(m_machine.GetToolOffset(i, offset));
        EXPECT_EQ(offset, i * 111 - 500);
    }

    ASSERT_TRUE(m_machine.SetDistanceCorrection({500, -250, 0}));
    AxisTriple correction;
    ASSERT_TRUE(m_machine.GetDistanceCorrection(correction));
    EXPECT_EQ(correction, (AxisTriple{500, -250, 0}));

    EXPECT_EQ(m_machine.GetAutoPowerOffTime(), 0);
    ASSERT_TRUE(m_machine.SetAutoPowerOffTime(3600));
    EXPECT_EQ(m_machine.GetAutoPowerOffTime(), 3600);
    EXPECT_EQ(m_machine.GetAutoPowerOffFlag(), 0);

    // Clearing the settings brings every value back to its default.
    ASSERT_TRUE(m_machine.ClearSettings());
    int32_t offset = -1;
    ASSERT_TRUE(m_machine.GetToolOffset(3, offset));
    EXPECT_EQ(offset, 0);
    ASSERT_TRUE(m_machine.GetDistanceCorrection(correction));
    EXPECT_EQ(correction, (AxisTriple{0, 0, 0}));
    EXPECT_EQ(m_machine.GetAutoPowerOffTime(), 0);
}

TEST_P(SimCommandsTest, SpindleUnitsCountTheirOwnTime)
{
    ASSERT_TRUE(m_machine.SelectSpindleUnit(3, 1));
    EXPECT_EQ(m_machine.GetSpindleUnit(), 3);
    ASSERT_TRUE(m_machine.SetSpindleRotation(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_TRUE(m_machine.SetSpindleRotation(0));
    SpindleTimeRecord record;
    ASSERT_TRUE(m_machine.GetSpindleUnitTime(record));
    EXPECT_GE(record.seconds, 1);
    ASSERT_TRUE(m_machine.GetSpindleTime(record));
    EXPECT_GE(record.seconds, 1);

    // Another unit, selected only for reading, has its own time.
    ASSERT_TRUE(m_machine.SelectSpindleUnit(5, 0));
    ASSERT_TRUE(m_machine.GetSpindleUnitTime(record));
    EXPECT_EQ(record.seconds, 0);
    ASSERT_TRUE(m_machine.SelectSpindleUnit(3, 0));
    ASSERT_TRUE(m_machine.ResetSpindleUnitTime());
    ASSERT_TRUE(m_machine.GetSpindleUnitTime(record));
    EXPECT_EQ(record.seconds, 0);
    ASSERT_TRUE(m_machine.ResetSpindleTime());
    ASSERT_TRUE(m_machine.GetSpindleTime(record));
    EXPECT_EQ(record.seconds, 0);
    EXPECT_FALSE(m_machine.SelectSpindleUnit(9, 0));
}

TEST_P(SimCommandsTest, UnitTimesArePresetOverTheFullUnsignedRange)
{
    struct Row
    {
        int unit;
        const char* seconds;
        uint32_t read;
    };
    for (const Row& row : {Row{1, "90061", 90061u}, Row{8, "2147483648", 0x80000000u},
                           Row{4, "4294967295", 0xFFFFFFFFu}}) {
        ASSERT_EQ(m_sim->Control("unit-time " + std::to_string(row.unit) + " " + row.seconds),
                  "ok\n");
        ASSERT_TRUE(m_machine.SelectSpindleUnit(static_cast<uint8_t>(row.unit), 0));
        SpindleTimeRecord record;
        ASSERT_TRUE(m_machine.GetSpindleUnitTime(record));
        EXPECT_EQ(static_cast<uint32_t>(record.seconds), row.read) << row.seconds;
    }
    for (const char* bad : {"unit-time 0 5", "unit-time 9 5", "unit-time 1 4294967296",
                            "unit-time 1 -1", "clear-ms -1"})
        EXPECT_EQ(m_sim->Control(bad).rfind("error:", 0), 0u) << bad;
}

TEST_P(SimCommandsTest, SettingsCorrectionAndRefusedCommandsArePresetOnTheControlSocket)
{
    ASSERT_EQ(m_sim->Control("settings 5aff040207a5"), "ok\n");
    MachineSettings settings;
    ASSERT_TRUE(m_machine.GetMachineSettings(settings));
    const uint8_t bytes[6] = {0x5A, 0xFF, 0x04, 0x02, 0x07, 0xA5};
    EXPECT_EQ(std::memcmp(&settings, bytes, sizeof bytes), 0);
    ASSERT_EQ(m_sim->Control("correction 6 -999999 6000"), "ok\n");
    AxisTriple correction;
    ASSERT_TRUE(m_machine.GetDistanceCorrection(correction));
    EXPECT_EQ(correction, (AxisTriple{6, -999999, 6000}));

    // A refused query is a failed read until the refusal is lifted; other commands still work.
    ASSERT_EQ(m_sim->Control("fail-command 0x05F0"), "ok\n");
    EXPECT_FALSE(m_machine.GetDistanceCorrection(correction));
    EXPECT_TRUE(m_machine.GetMachineSettings(settings));
    ASSERT_EQ(m_sim->Control("fail-command 0"), "ok\n");
    EXPECT_TRUE(m_machine.GetDistanceCorrection(correction));
    for (const char* bad :
         {"settings 5aff040207", "settings 5aff040207zz", "correction 1 2",
          "correction 0 -1000000 0", "correction 1000001 0 0", "fail-command 65536"})
        EXPECT_EQ(m_sim->Control(bad).rfind("error:", 0), 0u) << bad;
}

TEST_P(SimCommandsTest, ClearSettingsExecutesForTheSetDuration)
{
    ASSERT_EQ(m_sim->Control("clear-ms 600"), "ok\n");
    const auto start = Clock::now();
    ASSERT_TRUE(m_machine.ClearSettings());
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(600));
}

TEST_P(SimCommandsTest, SystemReportArrivesInPiecesEndingWithNul)
{
    std::string text;
    int pieces = 0;
    ASSERT_TRUE(m_machine.GetSystemReport([&](const char* data, int length) {
        text.append(data, static_cast<size_t>(length));
        ++pieces;
    }));
    EXPECT_GT(pieces, 1);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\0');
    EXPECT_NE(text.find("V120"), std::string::npos);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
}

TEST_P(SimCommandsTest, EmergencyStopAndCommandErrorsAreReported)
{
    m_sim->Control("command-error 151");
    EXPECT_TRUE(StateWord() & StateBit::CommandErrorPending);
    int16_t code = 0;
    ASSERT_TRUE(m_machine.GetCommandError(code));
    EXPECT_EQ(code, 151);
    ASSERT_TRUE(m_machine.ClearCommandError());
    EXPECT_FALSE(StateWord() & StateBit::CommandErrorPending);

    m_sim->Control("estop 165");
    EXPECT_EQ(StateWord() & StateBit::StateMask, 4u);
    int16_t words[5] = {};
    ASSERT_TRUE(m_machine.GetFatalError(words));
    EXPECT_EQ(words[1], 165);
    // No motion in an emergency stop: the command fails.
    EXPECT_FALSE(m_machine.JogTo(-1, {1000, 0, 0}));
}

TEST_P(SimCommandsTest, PauseResumeAndQuitAJob)
{
    m_sim->Control("speed 10000");
    const std::string path =
        WriteFile("job-" + GetParam() + ".nc", "%\nG90 G0 X10 Y0\nG1 X20\nG1 X30\n%\n");
    ASSERT_TRUE(m_machine.SendFile(path, "job"));
    ASSERT_TRUE(WaitForState(MachineState::JobActive, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(m_machine.PauseCutting());
    EXPECT_TRUE(StateWord() & StateBit::Paused);
    AxisTriple first, second;
    ASSERT_TRUE(m_machine.GetPosition(first));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(m_machine.GetPosition(second));
    EXPECT_EQ(first, second);
    EXPECT_GT(first[0], 0);

    ASSERT_TRUE(m_machine.ResumeCutting());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(m_machine.GetPosition(second));
    EXPECT_GT(second[0], first[0]);

    ASSERT_TRUE(m_machine.QuitCutting());
    EXPECT_TRUE(StateWord() & StateBit::SkippingData);
    ASSERT_TRUE(WaitForState(MachineState::Ready, 2000));
    EXPECT_FALSE(StateWord() & StateBit::SkippingData);
    ASSERT_TRUE(m_machine.GetPosition(first));
    EXPECT_LT(first[0], 30000);
}

TEST_P(SimCommandsTest, AJobRunsToItsEnd)
{
    const std::string path = WriteFile("short-" + GetParam() + ".nc", "%\nG0 X1 Y2\nG1 Z-0.5\n");
    ASSERT_TRUE(m_machine.SendFile(path, "job"));
    ASSERT_TRUE(WaitForState(MachineState::Ready, 3000));
    AxisTriple position;
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{1000, 2000, -500}));
}

TEST_P(SimCommandsTest, TestCutLinesAreCountedAndFinished)
{
    ASSERT_TRUE(m_machine.SetOperationMode(OperationMode::TestCut));
    uint32_t counter[2] = {};
    ASSERT_TRUE(m_machine.GetReceiveCounter(counter));
    const uint32_t start = counter[0];
    CommandStatus status = m_machine.GetCommandStatus();
    EXPECT_TRUE(status.word0 & StateBit::LineReady);
    EXPECT_FALSE(status.word0 & StateBit::LineBusy);

    const std::string line = "G1 X2.5 Y1\r\n";
    ASSERT_TRUE(m_machine.WriteRawData(line.data(), static_cast<int>(line.size())));
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    for (;;) {
        status = m_machine.GetCommandStatus();
        ASSERT_TRUE(m_machine.GetReceiveCounter(counter));
        if (counter[0] == start + line.size() && (status.word0 & StateBit::LineReady) &&
            !(status.word0 & StateBit::LineBusy))
            break;
        ASSERT_LT(Clock::now(), deadline);
    }
    AxisTriple position;
    ASSERT_TRUE(m_machine.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{2500, 1000, 0}));
    EXPECT_EQ(status.word0 & StateBit::StateMask,
              uint32_t(MachineState::JobActive)); // the test cut is a job until the mode ends
    ASSERT_TRUE(m_machine.SetTestCutOption(5));
    EXPECT_EQ(m_sim->LogOf("0x3468"), std::vector<std::string>{"0x3468 01"});
    ASSERT_TRUE(m_machine.SetOperationMode(OperationMode::Normal));
    EXPECT_EQ(m_machine.GetCommandStatus().word0 & 0x1FF, 2u);
}

TEST_P(SimCommandsTest, MotorLoadTestFailsThroughTheEventBit)
{
    ASSERT_TRUE(m_machine.JogTo(-1, {100000, 100000, -30000}));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_TRUE(m_machine.SetOperationMode(OperationMode::MotorLoadTest));
    ASSERT_TRUE(m_machine.TestMotorLoadX(90, -1, -2000));
    ASSERT_TRUE(WaitUntilStopped());
    MachineStatus status;
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.position[0], 98000);
    EXPECT_FALSE(status.eventWord & EventBit::OperationError);

    m_sim->Control("motor-load-fail on");
    ASSERT_TRUE(m_machine.TestMotorLoadZ(90, -1, 2000));
    ASSERT_TRUE(WaitUntilStopped());
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_EQ(status.position[2], -28000);
    EXPECT_TRUE(status.eventWord & EventBit::OperationError);
    ASSERT_TRUE(m_machine.ClearErrorFlag());
    ASSERT_EQ(m_machine.ReadMachineStatus(status), 32);
    EXPECT_FALSE(status.eventWord & EventBit::OperationError);
    EXPECT_EQ(m_sim->LogOf("0x2512"),
              std::vector<std::string>{GetParam() == "little" ? "0x2512 5a00ffffd0070000"
                                                              : "0x2512 005affff000007d0"});
}

TEST_P(SimCommandsTest, IdlingRunsUntilStopped)
{
    ASSERT_TRUE(m_machine.StartIdling(0));
    EXPECT_TRUE(m_machine.GetCommandStatus().word1 & CommandStatus::Executing);
    EXPECT_TRUE(StateWord() & StateBit::SpindleRotating);
    ASSERT_TRUE(m_machine.StopOperation());
    EXPECT_FALSE(m_machine.GetCommandStatus().word1 & CommandStatus::Executing);
    EXPECT_FALSE(StateWord() & StateBit::SpindleRotating);
}

TEST_P(SimCommandsTest, PowerOffDropsTheConnectionUntilPowerOn)
{
    m_sim->Control("log-clear");
    ASSERT_TRUE(m_machine.PowerOff(0));
    EXPECT_EQ(m_sim->LogOf("0x2604"), std::vector<std::string>{"0x2604 00000000"});
    EXPECT_EQ(m_sim->Status()["connected"], "0");
    EXPECT_FALSE(m_machine.GetLink().CheckConnection());
    m_sim->Control("power-on");
    EXPECT_TRUE(m_machine.GetLink().Reconnect());
    EXPECT_TRUE(WaitForState(MachineState::Ready, 2000));
}

TEST_P(SimCommandsTest, TheEveryCommandLogShowsPayloadsInTheMachineOrder)
{
    ASSERT_TRUE(m_machine.JogTo(-1, {1000, 0, 0}));
    const std::vector<std::string> log = m_sim->LogOf("0x04F5");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], GetParam() == "little" ? "0x04F5 ffff0000e80300000000000000000000"
                                             : "0x04F5 ffff0000000003e80000000000000000");
}

TEST_P(SimCommandsTest, ACommandIsAcceptedOnlyAfterTheAcceptDelay)
{
    m_sim->Control("accept-delay 300");
    const auto start = Clock::now();
    ASSERT_TRUE(m_machine.SetCuttingSpeed(120));
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              290);
    AxisTriple position;
    EXPECT_TRUE(m_machine.GetPosition(position));
    m_sim->Control("accept-delay 0");
    m_sim->Control("status-bits 0x1000");
    EXPECT_TRUE(m_machine.GetCommandStatus().word0 & StateBit::CloseRequest);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, SimCommandsTest, ::testing::Values("little", "big"),
                         [](const auto& info) { return info.param; });

} // namespace
