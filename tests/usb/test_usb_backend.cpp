#include "ModelingMachine.h"
#include "PrivateCups.h"
#include "SimulatorLink.h"
#include "UsbTestLink.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* Queue = "zr40-backend-test";
const std::string DeviceUri = std::string("zr40://Quenby/ZR-40?serial=") + CEmulatedMachine::Serial;

// A child process with its standard input and output as pipes of ours.
struct Child
{
    pid_t pid = -1;
    int in = -1;
    int out = -1;

    static Child Start(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {})
    {
        int toChild[2];
        int fromChild[2];
        EXPECT_EQ(pipe2(toChild, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
        Child child;
        child.pid = fork();
        if (child.pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            // The backend's messages to the print system are not part of what is checked.
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            for (const std::string& assignment : env)
                putenv(const_cast<char*>(assignment.c_str()));
            std::vector<char*> argv;
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        child.in = toChild[1];
        child.out = fromChild[0];
        return child;
    }
    std::string ReadAll()
    {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    bool Exited(int& status) { return waitpid(pid, &status, WNOHANG) == pid; }
    int Wait()
    {
        if (in != -1)
            close(in);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

std::vector<uint8_t> RandomBytes(size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

std::string WriteTemp(const std::vector<uint8_t>& bytes)
{
    char pattern[] = "/tmp/zr40-backend-job-XXXXXX";
    const int fd = mkstemp(pattern);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return pattern;
}

class UsbBackend : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { machine = new CEmulatedMachine; }
    static void TearDownTestSuite()
    {
        delete machine;
        machine = nullptr;
    }
    void SetUp() override { machine->ClearRecord(); }

    static CEmulatedMachine* machine;
};

CEmulatedMachine* UsbBackend::machine = nullptr;

} // namespace

TEST_F(UsbBackend, DiscoveryListsTheMachine)
{
    Child child = Child::Start({ZR40_BACKEND});
    close(child.in);
    child.in = -1;
    const std::string listing = child.ReadAll();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(listing.rfind("direct " + DeviceUri + " \"Quenby ZR-40\" ", 0), 0u) << listing;
    EXPECT_NE(listing.find("MDL:ZR-40;"), std::string::npos) << listing;
}

TEST_F(UsbBackend, JobReachesTheMachineInPiecesWhileThePanelPolls)
{
    const std::vector<uint8_t> job = RandomBytes(10 * 32768 + 1000);
    const std::string file = WriteTemp(job);
    // The print system hands a job as a file argument, or on standard input.
    for (const bool onStdin : {false, true}) {
        SCOPED_TRACE(onStdin ? "standard input" : "job file");
        machine->ClearRecord();
        machine->SetBulkOutDelay(5);
        std::vector<std::string> args = {ZR40_BACKEND, "7", "user", "Mildek 1/1", "1", ""};
        if (!onStdin)
            args.push_back(file);
        Child child =
            Child::Start(args, {"DEVICE_URI=" + DeviceUri, std::string("PRINTER=") + Queue});
        // The panel's side: the same machine under the same queue name, so the same device lock.
        CModelingMachine panel(std::make_unique<CEmulatedUsbLink>(machine->GetPath()),
                               std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(panel.SelectMachine(Queue));
        if (onStdin) {
            EXPECT_EQ(write(child.in, job.data(), job.size()), static_cast<ssize_t>(job.size()));
        }
        close(child.in);
        child.in = -1;
        int readsDuringJob = 0;
        int status = 0;
        while (!child.Exited(status)) {
            MachineStatus record;
            const bool read = panel.ReadMachineStatus(record) == 32;
            const size_t arrived = machine->GetBulkOutSize();
            if (read && arrived > 0 && arrived < job.size())
                ++readsDuringJob;
            // The panel polls every 200 ms; ten times as often still leaves the job its turns.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        close(child.out);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_TRUE(machine->GetBulkOut() == job) << "the job arrived changed";
        // The job held the interface from its first byte to its last.
        EXPECT_EQ(machine->GetBulkOutPerClaim(), std::vector<size_t>{job.size()});
        EXPECT_GT(readsDuringJob, 0) << "the status polling stopped during the job";
    }
    unlink(file.c_str());
}

// A job whose machine has stopped taking data (its buffer is full while it is paused) holds the
// interface; the panel's control transfers go on beside it, a bulk transfer of the panel is
// refused at once, and a cancel ends the job within one short transfer.
TEST_F(UsbBackend, PanelControlsTheMachineWhileAJobHoldsTheInterface)
{
    const std::vector<uint8_t> job = RandomBytes(8 * 32768);
    const std::string file = WriteTemp(job);
    struct Row
    {
        const char* what;
        bool cancel;
    };
    for (const Row& row : {Row{"the machine takes the rest", false}, Row{"cancelled", true}}) {
        SCOPED_TRACE(row.what);
        machine->ClearRecord();
        machine->SetBulkOutRoom(3 * 32768 + 100);
        Child child = Child::Start({ZR40_BACKEND, "9", "user", "Mildek 1/1", "1", "", file},
                                   {"DEVICE_URI=" + DeviceUri, std::string("PRINTER=") + Queue});
        close(child.in);
        child.in = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (machine->GetRecord().waitingUrbs == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(machine->GetRecord().claimed) << "the job does not hold the interface";

        CModelingMachine panel(std::make_unique<CEmulatedUsbLink>(machine->GetPath()),
                               std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(panel.SelectMachine(Queue));
        auto slowest = std::chrono::steady_clock::duration::zero();
        for (int poll = 0; poll < 10; ++poll) {
            const auto start = std::chrono::steady_clock::now();
            MachineStatus status;
            EXPECT_EQ(panel.ReadMachineStatus(status), 32);
            slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
        }
        EXPECT_TRUE(panel.PauseCutting());
        const std::vector<std::string> log = machine->GetLog();
        EXPECT_NE(
            std::find_if(log.begin(), log.end(),
                         [](const std::string& line) { return line.rfind("0x03F0", 0) == 0; }),
            log.end())
            << "Pause did not arrive";
        // Waiting for the interface would take seconds per poll; a poll is one transaction.
        EXPECT_LT(slowest, std::chrono::milliseconds(1000));
        const int refusals = machine->GetRecord().busyRefusals;
        const uint8_t line[] = "G0X1\r\n";
        EXPECT_FALSE(panel.WriteRawData(line, sizeof line - 1));
        EXPECT_GT(machine->GetRecord().busyRefusals, refusals);

        if (row.cancel)
            kill(child.pid, SIGTERM);
        else
            machine->SetBulkOutRoom(SIZE_MAX);
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_FALSE(machine->GetRecord().claimed) << "the job kept the interface";
        if (row.cancel)
            EXPECT_LT(machine->GetBulkOutSize(), job.size());
        else
            EXPECT_TRUE(machine->GetBulkOut() == job) << "the job arrived changed";
    }
    unlink(file.c_str());
}

// A stalled machine fails the job; the halt is cleared for the next one.
TEST_F(UsbBackend, StalledMachineFailsTheJob)
{
    const std::string file = WriteTemp(RandomBytes(4 * 32768));
    machine->StallBulkOut();
    Child child = Child::Start({ZR40_BACKEND, "10", "user", "Mildek 1/1", "1", "", file},
                               {"DEVICE_URI=" + DeviceUri, std::string("PRINTER=") + Queue});
    close(child.in);
    child.in = -1;
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_EQ(machine->GetRecord().haltsCleared, 1);
    EXPECT_FALSE(machine->GetRecord().claimed);
    unlink(file.c_str());
}

TEST_F(UsbBackend, QueuesOfBothBackendsLeadToTheMachine)
{
    CPrivateCups cups("zr40", ZR40_BACKEND);
    if (!cups.IsRunning())
        GTEST_SKIP() << cups.Why();
    // The helper makes the queue on this project's backend, as a user would; the spooler's own
    // USB backend names the same device in its way.
    Child helper = Child::Start(
        {"/bin/sh", ZR40_ADD_QUEUE, "zr40"},
        {std::string("ZR40_BACKEND=") + ZR40_BACKEND, std::string("ZR40_PPD=") + ZR40_PPD});
    close(helper.in);
    helper.in = -1;
    const std::string said = helper.ReadAll();
    ASSERT_EQ(helper.Wait(), 0) << said;
    EXPECT_NE(said.find(DeviceUri), std::string::npos) << said;
    // A failed job is aborted: kept, it would be sent again from its first byte.
    EXPECT_EQ(CPrivateCups::PrinterAttribute("zr40", "printer-error-policy"), "abort-job");
    ASSERT_TRUE(
        cups.AddQueue("zr40usb", "Quenby ZR-40",
                      std::string("usb://Quenby/ZR-40?serial=") + CEmulatedMachine::Serial));

    CUsbPrintLink link;
    ASSERT_EQ(link.EnumerateMachines("Quenby ZR-40", true), 2);
    for (const char* queue : {"zr40", "zr40usb"}) {
        SCOPED_TRACE(queue);
        std::string path;
        EXPECT_TRUE(link.FindDevicePath(queue, path));
        EXPECT_EQ(path, machine->GetPath());
        Child tool = Child::Start({ZR40_CTL, "--printer", queue, "status"});
        close(tool.in);
        tool.in = -1;
        const std::string output = tool.ReadAll();
        EXPECT_EQ(tool.Wait(), 0) << output;
        EXPECT_EQ(output.rfind("state: 2 (ready)", 0), 0u) << output;
    }
}
