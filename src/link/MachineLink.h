#pragma once

#include <cstdint>
#include <string>

// The transport between the command layer and one machine: a real device on USB or the
// simulator. Every operation reports failure by its result (false or -1), never by throwing.
class CMachineLink
{
public:
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    // Cheap test of whether the machine is still there; closes the device when it is not.
    virtual bool CheckConnection() = 0;
    virtual bool Reconnect() = 0;
    // Sends a whole cutting-data file (an open, readable descriptor and its path) as one job.
    virtual bool OutputFile(int fd, const std::string& path, const std::string& jobName) = 0;
    virtual bool VendorWrite(uint16_t code, const void* data, int length) = 0;
    virtual int VendorRead(uint16_t code, void* buffer, int length) = 0;
    virtual bool BulkWrite(const void* data, int length) = 0;
    virtual int BulkRead(void* buffer, int length) = 0;
    virtual std::string GetName() const = 0;
    virtual bool Lock(int ms) = 0;
    virtual void Unlock() = 0;
    virtual ~CMachineLink() = default;
};
