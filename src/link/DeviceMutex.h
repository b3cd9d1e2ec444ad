#pragma once

#include "LockFile.h"

#include <string>
#include <thread>

// The machine-wide mutex that serialises the transactions of every program that drives one
// machine (the panel, the command-line tool, the print backend). Recursive for the thread that
// holds it, so a query that itself sends a command may take it again.
class CDeviceMutex
{
public:
    static constexpr const char* Kind = "RemoteController";

    bool Create(const std::string& machineName);
    bool IsCreated() const { return m_file.IsOpen(); }
    void Destroy();

    bool Lock(int ms);
    void Unlock();
    int RecursionCount() const { return m_count; }

private:
    CLockFile m_file;
    std::thread::id m_owner;
    int m_count = 0;
};
