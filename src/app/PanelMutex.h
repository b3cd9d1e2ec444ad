#pragma once

#include "LockFile.h"

#include <string>

// The lock that marks a machine as served by a panel. It "exists" exactly while some process
// holds it: the first creator takes a lock file for the machine's name and keeps it for the
// rest of its life; the lock vanishes with that process, so a crashed panel never blocks the
// next start.
class CPanelMutex
{
public:
    static constexpr const char* Kind = "ControlPanel";

    enum class CreateResult
    {
        Created,       // this object now holds the lock
        AlreadyExists, // another holder has it
        Failed         // the lock file could not be opened
    };

    CPanelMutex() = default;
    CPanelMutex(const CPanelMutex&) = delete;
    CPanelMutex& operator=(const CPanelMutex&) = delete;

    // Creates the mutex for machineName as initially owned; any mutex this object held before
    // is given up first.
    CreateResult Create(const std::string& machineName);
    bool IsHeld() const { return m_held; }
    // The errno of the last Create that Failed.
    int GetError() const { return m_error; }
    const std::string& GetMachineName() const { return m_machineName; }
    // Gives the lock up (the program itself never does: the panel holds it until it ends).
    void Close();

    // True when no panel serves machineName at this moment; the test itself holds the lock
    // only for its own duration.
    static bool IsFree(const std::string& machineName);
    // The file behind the mutex for machineName, for telling the user when it cannot be used.
    static std::string LockPath(const std::string& machineName);

private:
    CLockFile m_file;
    std::string m_machineName;
    bool m_held = false;
    int m_error = 0;
};
