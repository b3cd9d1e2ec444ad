#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// The lock that keeps test processes of every build folder from running simulators (or
// stand-ins for them, which use the same global names) at the same time.
class CSimulatorTestLock
{
public:
    CSimulatorTestLock() = default;
    ~CSimulatorTestLock() { Release(); }
    CSimulatorTestLock(const CSimulatorTestLock&) = delete;
    CSimulatorTestLock& operator=(const CSimulatorTestLock&) = delete;

    // Waits (at most five minutes) for the lock; true when it is held.
    bool Take();
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A zr40-sim process for tests: started on a private control socket with a short
// initialisation, driven through its control interface, stopped (or killed) at the end. The
// simulator's shared names are global, so tests that use this run one at a time (the CTest
// resource lock "simulator"); as test runs of other build folders do not see that lock, each
// running simulator also holds a lock file that the next Start waits for. One process runs
// one simulator at a time.
class CSimulatorProcess
{
public:
    // Extra options are appended to the defaults (--init-ms 0 and a private --ctl-socket);
    // a later option wins.
    explicit CSimulatorProcess(std::vector<std::string> extraOptions = {});
    ~CSimulatorProcess();
    CSimulatorProcess(const CSimulatorProcess&) = delete;
    CSimulatorProcess& operator=(const CSimulatorProcess&) = delete;

    // Starts the simulator and waits until its control socket answers; false on failure.
    bool Start();
    // SIGTERM and wait: the simulator removes its shared objects.
    void Stop();
    // SIGKILL and wait: the shared objects stay behind, as after a crash; the lock file is kept
    // until Stop or destruction.
    void Kill();
    bool IsRunning() const { return m_pid > 0; }
    pid_t GetPid() const { return m_pid; }

    // One control command; the answer text ("error: ..." on failure, empty when unreachable).
    std::string Control(const std::string& command) const;
    // The status as name -> value ("state", "position", "spindle", "override", ...).
    std::map<std::string, std::string> Status() const;
    int State() const;
    // Position in micrometres from the status.
    std::vector<long> Position() const;
    // The command log, one entry per line ("0xCODE payload-hex", "bulk-out ...", ...).
    std::vector<std::string> Log() const;
    // Only the log entries of one command code, e.g. "0x04F5".
    std::vector<std::string> LogOf(const std::string& code) const;
    void ClearLog() const { Control("log-clear"); }
    // Polls the status until the state is reached; false after timeoutMs.
    bool WaitForState(int state, int timeoutMs = 5000) const;
    // Polls until the axes have stopped (state bit `Moving` clear).
    bool WaitUntilStopped(int timeoutMs = 10000) const;

    const std::string& GetSocketPath() const { return m_socketPath; }
    // The zr40-sim and zr40ctl programs of this build ($ZR40_SIM / $ZR40_CTL override them).
    static std::string SimulatorExecutable();
    static std::string CtlExecutable();

private:
    std::vector<std::string> m_options;
    std::string m_folder;
    std::string m_socketPath;
    pid_t m_pid = -1;
    CSimulatorTestLock m_lock;
};
