#include "SimulatorLink.h"

// Placeholder until the shared-block transport lands: every primitive fails cleanly.
CSimulatorLink::CSimulatorLink() = default;
CSimulatorLink::~CSimulatorLink()
{
    CloseHandleOnly();
}
bool CSimulatorLink::OutputFile(int, const std::string&, const std::string&)
{
    return false;
}
bool CSimulatorLink::BulkWrite(const void*, int)
{
    return false;
}
int CSimulatorLink::BulkRead(void*, int)
{
    return -1;
}
int CSimulatorLink::GetNotificationFd() const
{
    return -1;
}
void CSimulatorLink::ProcessNotifications() {}
bool CSimulatorLink::FindDevicePath(const std::string&, std::string& path)
{
    path.clear();
    return true;
}
int CSimulatorLink::OpenDevice(const std::string&, const std::string&)
{
    return -1;
}
bool CSimulatorLink::CloseDevice(int)
{
    return true;
}
bool CSimulatorLink::QueryDeviceId(int, char*, int)
{
    return false;
}
int CSimulatorLink::VendorIn(int, uint8_t, uint16_t, uint16_t, void*, int)
{
    return -1;
}
bool CSimulatorLink::VendorOut(int, uint8_t, uint16_t, uint16_t, const void*, int)
{
    return false;
}
