#include "DeviceMutex.h"

bool CDeviceMutex::Create(const std::string& machineName)
{
    Destroy();
    return m_file.Open(Kind, machineName);
}

void CDeviceMutex::Destroy()
{
    m_file.Close();
    m_count = 0;
    m_owner = {};
}

bool CDeviceMutex::Lock(int ms)
{
    if (!m_file.IsOpen())
        return false;
    if (m_count > 0 && m_owner == std::this_thread::get_id()) {
        ++m_count;
        return true;
    }
    if (!m_file.TryLock(ms))
        return false;
    m_owner = std::this_thread::get_id();
    m_count = 1;
    return true;
}

void CDeviceMutex::Unlock()
{
    if (m_count <= 0 || m_owner != std::this_thread::get_id())
        return;
    if (--m_count == 0) {
        m_owner = {};
        m_file.Unlock();
    }
}
