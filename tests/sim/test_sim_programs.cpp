// The programs as a user runs them: zr40ctl against a running zr40-sim, the simulator's own
// control client, and its clean end.
#include "MachineCommands.h"
#include "ModelingMachine.h"
#include "SimulatorProcess.h"
#include "StandInSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct RunResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program through the shell with its output captured in files.
RunResult RunCommand(const std::string& commandLine)
{
    const std::string base = ::testing::TempDir() + "zr40-run";
    const std::string command = commandLine + " >" + base + ".out 2>" + base + ".err </dev/null";
    RunResult result;
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto slurp = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    result.out = slurp(base + ".out");
    result.err = slurp(base + ".err");
    return result;
}

std::string Quote(const std::string& text)
{
    return "'" + text + "'";
}

std::string Ctl(const std::string& arguments)
{
    return Quote(CSimulatorProcess::CtlExecutable()) + " " + arguments;
}

bool ShmExists()
{
    struct stat info
    {
    };
    return stat("/dev/shm/IPC Memory for Quenby ZR-40", &info) == 0;
}

TEST(SimProgramsTest, StatusAndJogThroughZr40ctl)
{
    CSimulatorProcess sim({"--speed", "100000"});
    ASSERT_TRUE(sim.Start());
    RunResult status = RunCommand(Ctl("--simulator status"));
    ASSERT_EQ(status.exitCode, 0) << status.err;
    EXPECT_TRUE(status.out.starts_with("state: 2 (ready)\n")) << status.out;
    EXPECT_NE(status.out.find("position: 0.000 0.000 0.000 mm"), std::string::npos);
    EXPECT_NE(status.out.find("override: 100 %"), std::string::npos);

    RunResult jog = RunCommand(Ctl("--simulator jog 1 0 0"));
    ASSERT_EQ(jog.exitCode, 0) << jog.err;
    EXPECT_EQ(sim.Position(), (std::vector<long>{1000, 0, 0}));
    jog = RunCommand(Ctl("jog -0.5 2.25 -1"));
    ASSERT_EQ(jog.exitCode, 0) << jog.err;
    EXPECT_EQ(sim.Position(), (std::vector<long>{500, 2250, -1000}));
}

TEST(SimProgramsTest, Zr40ctlCommandsReachTheMachine)
{
    CSimulatorProcess sim;
    ASSERT_TRUE(sim.Start());
    RunResult firmware = RunCommand(Ctl("firmware"));
    EXPECT_EQ(firmware.exitCode, 0);
    EXPECT_TRUE(firmware.out.starts_with("V120")) << firmware.out;

    RunResult report = RunCommand(Ctl("report"));
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_NE(report.out.find("settings report"), std::string::npos);
    EXPECT_EQ(report.out.find('\0'), std::string::npos);

    sim.ClearLog();
    EXPECT_EQ(RunCommand(Ctl("spindle on")).exitCode, 0);
    EXPECT_EQ(sim.Status()["spindle"] != "0", true);
    const RunResult off = RunCommand(Ctl("spindle off"));
    EXPECT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(RunCommand(Ctl("speed 120")).exitCode, 0);
    EXPECT_EQ(sim.Status()["override"], "120");
    EXPECT_EQ(RunCommand(Ctl("pause")).exitCode, 0);
    EXPECT_EQ(RunCommand(Ctl("resume")).exitCode, 0);
    EXPECT_EQ(RunCommand(Ctl("quit-cutting")).exitCode, 0);
    EXPECT_EQ(sim.LogOf("0x3006"),
              (std::vector<std::string>{"0x3006 e8030000", "0x3006 00000000"}));
    EXPECT_EQ(sim.LogOf("0x03F0").size(), 1u);
    EXPECT_EQ(sim.LogOf("0x03F1").size(), 1u);
    EXPECT_EQ(sim.LogOf("0x03F2").size(), 1u);

    const std::string job = ::testing::TempDir() + "zr40ctl-job.nc";
    std::ofstream(job) << "%\nG0 X3\n";
    EXPECT_EQ(RunCommand(Ctl("send " + Quote(job))).exitCode, 0);
    EXPECT_EQ(sim.LogOf("output-file").size(), 1u);
    EXPECT_TRUE(sim.WaitForState(2));
}

TEST(SimProgramsTest, Zr40ctlErrorsAreOneLineAndNonZero)
{
    // A folder, a pipe without a writer and an endless device are no cutting-data files.
    const std::string folder = ::testing::TempDir() + "zr40ctl-odd-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);
    for (const std::string& arguments :
         {std::string("speed 500"), std::string("jog 1 x 0"), std::string("frobnicate"),
          std::string("--bogus status"), std::string("send /nonexistent/file.nc"), std::string(""),
          "send " + Quote(folder), "send " + Quote(folder + "/fifo"),
          std::string("send /dev/zero")}) {
        CSimulatorProcess sim;
        ASSERT_TRUE(sim.Start());
        const RunResult result = RunCommand("timeout 20 " + Ctl(arguments));
        EXPECT_NE(result.exitCode, 0) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_TRUE(result.err.starts_with("zr40ctl: ")) << result.err;
        EXPECT_EQ(sim.State(), 2) << arguments;
    }
    std::filesystem::remove_all(folder);
    // No simulator at all: holding the machine-wide simulator lock keeps the simulators of
    // other tests from starting meanwhile.
    CSimulatorTestLock noSimulator;
    ASSERT_TRUE(noSimulator.Take());
    const RunResult result = RunCommand(Ctl("status"));
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(SimProgramsTest, Zr40ctlNextToAPanelLeavesThePanelConnected)
{
    CSimulatorProcess sim;
    ASSERT_TRUE(sim.Start());
    CModelingMachine panel;
    ASSERT_TRUE(panel.UseSimulator({}));
    EXPECT_EQ(RunCommand(Ctl("status")).exitCode, 0);
    EXPECT_EQ(RunCommand(Ctl("jog 0 1 0")).exitCode, 0);
    AxisTriple position;
    ASSERT_TRUE(panel.GetPosition(position));
    EXPECT_EQ(position, (AxisTriple{0, 1000, 0}));
}

TEST(SimProgramsTest, SimulatorControlClientAndHelp)
{
    const std::string sim = Quote(CSimulatorProcess::SimulatorExecutable());
    RunResult help = RunCommand(sim + " --help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--ctl", "--init-ms", "--byte-order", "estop", "command-error",
                             "unplug", "power-off", "stop-answering", "status", "log"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    EXPECT_NE(RunCommand(sim + " --no-such-option").exitCode, 0);

    CSimulatorProcess process;
    ASSERT_TRUE(process.Start());
    const std::string socket = Quote(process.GetSocketPath());
    RunResult status = RunCommand(sim + " --ctl-socket " + socket + " --ctl status");
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_TRUE(status.out.starts_with("state: 2\n")) << status.out;
    RunResult bad = RunCommand(sim + " --ctl-socket " + socket + " --ctl state 9");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.starts_with("error:"));
    EXPECT_EQ(RunCommand(sim + " --ctl-socket " + socket + " --ctl state 3").exitCode, 0);
    EXPECT_EQ(process.State(), 3);
    EXPECT_EQ(RunCommand(sim + " --ctl-socket " + socket + " --ctl state 6").exitCode, 0);
    EXPECT_EQ(process.State(), 6);

    // The program's help lists every control command the running simulator takes, each with
    // its arguments as "help" shows them.
    const std::string commands = process.Control("help");
    std::istringstream lines(commands);
    int listed = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("  ") || line[2] == ' ')
            continue;
        const std::string command = line.substr(0, line.find_last_not_of(' ', 29) + 1);
        EXPECT_NE(help.out.find(command + " "), std::string::npos) << command;
        ++listed;
    }
    EXPECT_GE(listed, 25);
    for (const char* command : {"  unit-time UNIT SECONDS", "  clear-ms MS"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST(SimProgramsTest, InitialisationTakesTheConfiguredTime)
{
    CSimulatorProcess sim({"--init-ms", "600"});
    ASSERT_TRUE(sim.Start());
    const int first = sim.State();
    EXPECT_TRUE(first == 0 || first == 1) << first;
    EXPECT_TRUE(sim.WaitForState(2, 3000));
    sim.Control("power-off");
    EXPECT_EQ(sim.Status()["connected"], "0");
    sim.Control("power-on");
    const int again = sim.State();
    EXPECT_TRUE(again == 0 || again == 1) << again;
}

TEST(SimProgramsTest, TheSimulatorEndsCleanlyOnSigterm)
{
    CSimulatorProcess sim;
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(ShmExists());
    sim.Stop();
    EXPECT_FALSE(ShmExists());
    struct stat info
    {
    };
    EXPECT_NE(stat(sim.GetSocketPath().c_str(), &info), 0);
}

// The control interface refuses numbers it cannot hold instead of wrapping them round.
TEST(SimProgramsTest, ControlNumbersOutOfRangeAreRefused)
{
    CSimulatorProcess sim;
    ASSERT_TRUE(sim.Start());
    const auto before = sim.Status();
    for (const char* command :
         {"speed 4294967297", "speed 0", "delay 2147483648", "delay -1", "accept-delay 4294967296",
          "estop 65536", "command-error -1", "state 4294967298", "status-bits 0x100000000",
          "speed 99999999999999999999"}) {
        EXPECT_TRUE(sim.Control(command).starts_with("error: ")) << command;
    }
    EXPECT_EQ(sim.Status(), before);
}

// zr40ctl against a machine whose answers no real simulator gives: a position at the end of the
// coordinates, and axes that say they move but never get anywhere.
class Zr40ctlOnAStandInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_standin.Start());
        m_standin.replies[Cmd::GetByteOrder] = Bytes16({0, ByteOrderMarker});
        // Every command accepted at once, with a 12-byte reply ready.
        m_standin.replies[Cmd::GetCommandStatus] = Bytes32({2, 12 << 24});
    }
    static std::vector<uint8_t> Bytes16(std::initializer_list<uint16_t> values)
    {
        std::vector<uint8_t> bytes(values.size() * 2);
        std::memcpy(bytes.data(), std::data(values), bytes.size());
        return bytes;
    }
    static std::vector<uint8_t> Bytes32(std::initializer_list<uint32_t> values)
    {
        std::vector<uint8_t> bytes(values.size() * 4);
        std::memcpy(bytes.data(), std::data(values), bytes.size());
        return bytes;
    }
    int JogsSent()
    {
        const std::vector<uint16_t> sent = m_standin.Commands();
        return static_cast<int>(std::count(sent.begin(), sent.end(), Cmd::JogTo));
    }

    CStandInSimulator m_standin{CModelingMachine::ModelName};
};

TEST_F(Zr40ctlOnAStandInTest, AJogBeyondTheCoordinatesIsRefused)
{
    m_standin.replies[Cmd::ReadReply] =
        Bytes32({INT32_MAX - 10, 0, static_cast<uint32_t>(INT32_MIN + 10)});
    for (const char* move : {"jog 1 0 0", "jog 0 0 -1"}) {
        const RunResult result = RunCommand("timeout 20 " + Ctl(move));
        EXPECT_NE(result.exitCode, 0) << move;
        EXPECT_NE(result.err.find("beyond"), std::string::npos) << result.err;
    }
    EXPECT_EQ(JogsSent(), 0);
}

TEST_F(Zr40ctlOnAStandInTest, AMoveThatGetsNowhereIsGivenUp)
{
    m_standin.replies[Cmd::ReadReply] = Bytes32({1000, 0, 0});
    std::vector<uint8_t> status =
        Bytes32({MachineState::Ready | StateBit::Moving, 0, 1000, 0, 0, 0});
    status.resize(32);
    m_standin.replies[Cmd::GetMachineStatus] = status;
    const RunResult result = RunCommand("timeout 20 " + Ctl("jog 1 0 0"));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_TRUE(result.err.starts_with("zr40ctl: ")) << result.err;
    EXPECT_EQ(JogsSent(), 1);
}

} // namespace
