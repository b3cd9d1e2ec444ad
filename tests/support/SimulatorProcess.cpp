#include "SimulatorProcess.h"

#include "MachineStatus.h"

#include "ControlClient.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// Shared by every test process on the computer, whatever its build folder.
constexpr const char* MachineLockPath = "/tmp/zr40-simulator-tests.lock";
constexpr int MachineLockWaitSeconds = 300;

std::string Environment(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}
} // namespace

bool CSimulatorTestLock::Take()
{
    if (m_fd >= 0)
        return true;
    const mode_t oldMask = umask(0);
    const int fd = open(MachineLockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    umask(oldMask);
    if (fd < 0)
        return false;
    const auto deadline = Clock::now() + std::chrono::seconds(MachineLockWaitSeconds);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (Clock::now() > deadline) {
            close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_fd = fd;
    return true;
}

void CSimulatorTestLock::Release()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

CSimulatorProcess::CSimulatorProcess(std::vector<std::string> extraOptions)
    : m_options(std::move(extraOptions))
{
}

CSimulatorProcess::~CSimulatorProcess()
{
    Stop();
    if (!m_folder.empty())
        rmdir(m_folder.c_str());
}

std::string CSimulatorProcess::SimulatorExecutable()
{
    return Environment("ZR40_SIM", ZR40_SIM_EXECUTABLE);
}

std::string CSimulatorProcess::CtlExecutable()
{
    return Environment("ZR40_CTL", ZR40_CTL_EXECUTABLE);
}

bool CSimulatorProcess::Start()
{
    if (m_pid > 0)
        return true;
    if (m_folder.empty()) {
        std::string pattern = Environment("TMPDIR", "/tmp") + "/zr40-simtest-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return false;
        m_folder = pattern;
        m_socketPath = m_folder + "/ctl";
    }
    if (!m_lock.Take())
        return false;
    std::vector<std::string> arguments = {SimulatorExecutable(), "--init-ms", "0", "--ctl-socket",
                                          m_socketPath};
    arguments.insert(arguments.end(), m_options.begin(), m_options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0) {
        m_lock.Release();
        return false;
    }
    if (m_pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        std::string answer;
        if (SimControl::Request(m_socketPath, "status", answer, 500) && !answer.empty())
            return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_lock.Release();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
    m_lock.Release();
    return false;
}

void CSimulatorProcess::Stop()
{
    if (m_pid <= 0) {
        m_lock.Release();
        return;
    }
    kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
    m_lock.Release();
}

void CSimulatorProcess::Kill()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    unlink(m_socketPath.c_str());
    // The lock stays until Stop or the end of this object: what the killed simulator left
    // behind is this test's to look at and to clean up.
}

std::string CSimulatorProcess::Control(const std::string& command) const
{
    std::string answer;
    if (!SimControl::Request(m_socketPath, command, answer))
        return {};
    return answer;
}

std::map<std::string, std::string> CSimulatorProcess::Status() const
{
    std::map<std::string, std::string> values;
    std::istringstream in(Control("status"));
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos)
            values[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return values;
}

int CSimulatorProcess::State() const
{
    const auto values = Status();
    const auto it = values.find("state");
    return it == values.end() ? -1 : std::atoi(it->second.c_str());
}

std::vector<long> CSimulatorProcess::Position() const
{
    std::istringstream in(Status()["position"]);
    std::vector<long> position;
    for (long value; in >> value;)
        position.push_back(value);
    return position;
}

std::vector<std::string> CSimulatorProcess::Log() const
{
    std::vector<std::string> lines;
    std::istringstream in(Control("log"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> CSimulatorProcess::LogOf(const std::string& code) const
{
    std::vector<std::string> lines;
    for (const std::string& line : Log())
        if (line == code || line.starts_with(code + " "))
            lines.push_back(line);
    return lines;
}

bool CSimulatorProcess::WaitForState(int state, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (State() == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return false;
}

bool CSimulatorProcess::WaitUntilStopped(int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        const unsigned long word = std::strtoul(Status()["state-word"].c_str(), nullptr, 16);
        if (!(word & StateBit::Moving))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return false;
}
