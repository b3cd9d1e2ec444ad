#include "PanelMutex.h"

#include <cerrno>

CPanelMutex::CreateResult CPanelMutex::Create(const std::string& machineName)
{
    Close();
    if (!m_file.Open(Kind, machineName)) {
        m_error = errno;
        return CreateResult::Failed;
    }
    if (!m_file.TryLock(0)) {
        m_file.Close();
        return CreateResult::AlreadyExists;
    }
    m_machineName = machineName;
    m_held = true;
    return CreateResult::Created;
}

void CPanelMutex::Close()
{
    m_file.Close();
    m_machineName.clear();
    m_held = false;
}

bool CPanelMutex::IsFree(const std::string& machineName)
{
    CPanelMutex probe;
    return probe.Create(machineName) == CreateResult::Created;
}

std::string CPanelMutex::LockPath(const std::string& machineName)
{
    return CLockFile::LockFilePath(Kind, machineName);
}
