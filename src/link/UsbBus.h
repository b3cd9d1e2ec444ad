#pragma once

#include "UsbDeviceMatch.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// The printer-class USB devices of this computer, reached through libusb: one per process, made
// on first use so that programs which never drive a real machine never start libusb.
//
// A device is opened by its path and kept open. Control transfers (the vendor requests and the
// printer-class GET_DEVICE_ID) need no claim of the printer interface: usbfs lets them through
// while another program holds the interface, so the panel reads the status and sends Pause or
// Stop while a print job runs. Only the bulk pipes need the interface: a print job claims it for
// the whole job (ClaimInterface), any other bulk transfer for the transfer alone, and a claim
// that another program holds fails at once. A kernel printer driver bound to the interface is
// detached for the claim and bound again when the claim ends.
//
// Handles are small positive numbers; every failure is reported as false or -1, and a device
// that has gone ("no device") fails every later call on its handle.
class CUsbBus
{
public:
    static CUsbBus& Instance();
    ~CUsbBus();
    CUsbBus(const CUsbBus&) = delete;
    CUsbBus& operator=(const CUsbBus&) = delete;

    // Every printer-class device on the bus with its serial number and device id.
    std::vector<UsbPrinterDevice> ListPrinters();

    int Open(const std::string& path);
    // The open device's path, serial number and device id, read now.
    std::optional<UsbPrinterDevice> Describe(int handle);
    bool Close(int handle);

    // The device id text without its two-byte length prefix, NUL-terminated in buffer; its
    // length or -1.
    int QueryDeviceId(int handle, char* buffer, int length);
    // Control transfers on the printer interface; bytes received or -1, and true when sent.
    int ControlIn(int handle, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                  void* buffer, int length);
    bool ControlOut(int handle, uint8_t requestType, uint8_t request, uint16_t value,
                    uint16_t index, const void* data, int length);
    // Bulk transfers: the bytes moved before the time-out ran out (possibly fewer than asked,
    // possibly 0), or -1 on an error (a stalled endpoint is cleared for the next transfer).
    int BulkWrite(int handle, const void* data, int length, int timeoutMs);
    int BulkRead(int handle, void* buffer, int length, int timeoutMs);

    // Holds the printer interface for the handle until ReleaseInterface or Close, so that its bulk
    // transfers need no claim of their own: a print job's hold.
    static constexpr int ClaimOk = 0;
    static constexpr int ClaimBusy = 1; // another program holds the interface
    static constexpr int ClaimFailed = 2;
    int ClaimInterface(int handle);
    void ReleaseInterface(int handle);

    // A descriptor that is readable while libusb has events to handle (hotplug among them), or
    // -1 when hotplug is not available. ProcessEvents() handles them and tells whether a
    // printer-class device arrived or left since the last call.
    int GetNotificationFd();
    bool ProcessEvents();

private:
    struct Device;
    CUsbBus();
    bool EnsureContext();
    Device* Find(int handle);
    void ReadIdentity(Device& device, UsbPrinterDevice& printer);
    int DeviceIdOf(Device& device, char* buffer, int length);
    int Transfer(Device& device, int result);
    int Bulk(int handle, bool in, unsigned char* data, int length, int timeoutMs);
    friend struct UsbCallbacks;

    libusb_context* m_context = nullptr;
    bool m_initFailed = false;
    std::map<int, std::unique_ptr<Device>> m_devices;
    int m_nextHandle = 1;
    void MarkChanged();

    int m_epollFd = -1;
    int m_changeFd = -1;
    bool m_hotplugRegistered = false;
    bool m_changed = false;
};
