#pragma once

#include "PrintSpooler.h"
#include "UsbDeviceMatch.h"

#include <cstdint>
#include <optional>
#include <string>

// The real machine's USB device: found from its printer queue's name, reached with vendor
// control transfers and the printer interface's bulk endpoints, its interface claimed for one
// transaction at a time (CUsbBus). Handles are small integers of the bus's own, -1 for none.
// Behind the USB link only; the simulator never needs it.
class CUsbDevice
{
public:
    // Time a bulk transfer may take before it counts as failed.
    static constexpr int BulkTimeoutMs = 5000;

    // Turns a machine (queue) name into the path of its device: the queue's device URI, then
    // the printer-class device on the bus that the URI names (never one of several that the
    // URI cannot tell apart).
    bool FindPath(const std::string& name, std::string& path);
    // Opens the device on path for the queue name. The device found there must be the one the
    // queue's URI names (its serial number, else its device id): a path kept from before a
    // replug may now lead to another machine or to another printer. A name without a queue
    // opens the path unchecked.
    int Open(const std::string& name, const std::string& path);
    // What names the machine whatever its queue or socket: its serial number, else its path.
    std::string Identity(int handle);
    // After a FindPath that found nothing: the node of a printer-class device this user may not
    // open, which may be the machine; empty when every device could be looked at.
    const std::string& GetAccessDeniedNode() const { return m_deniedNode; }
    bool Close(int handle);
    // The printer-class device id text ("MFG:...;MDL:...;"), NUL-terminated.
    bool QueryDeviceId(int handle, char* buffer, int length);
    // Vendor requests to the printer interface (types 0xC1 and 0x41).
    int ControlIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                  int length);
    bool ControlOut(int handle, uint8_t request, uint16_t value, uint16_t index, const void* data,
                    int length);
    // Writes all of data; false when the device failed or took no byte within the time-out.
    bool BulkWrite(int handle, const void* data, int length);
    int BulkRead(int handle, void* buffer, int length);

    // Hotplug: a descriptor readable while the bus has events, -1 without hotplug; and the
    // handling of those events, true when a printer-class device arrived or left.
    int GetNotificationFd() const;
    bool ProcessEvents();

private:
    CPrintSpooler m_spooler;
    // The device the queue m_targetName names, from its URI.
    std::optional<UsbDeviceUri> m_target;
    std::string m_targetName;
    std::string m_deniedNode;
};
