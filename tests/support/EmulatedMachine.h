#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A ZR-40 on an emulated USB bus: a printer-class device whose control transfers reach the
// simulator's firmware model, so that libusb, the USB link and the print backend can be tested
// without hardware. The test program must run under umockdev-wrapper, and the machine must exist
// before libusb is first used in the process: libusb reads the emulated bus when it starts, and
// child processes see the same bus (their transfers are answered by this process).
//
// Bytes on the bulk-out endpoint are recorded rather than handed to the model, so a job of any
// size arrives whole; the record also keeps how many bytes arrived while the interface was
// claimed, one entry per claim.
//
// The device keeps claims as usbfs does: per open device file, so a second program's claim
// fails with EBUSY while one holds the interface, and so does a bulk transfer without a claim;
// vendor requests and the printer-class GET_DEVICE_ID pass regardless. It can have a kernel
// printer driver bound (usblp) that a claim must detach, and its bulk-out endpoint can take
// only so many bytes (a full buffer: a transfer then times out with part of its data taken) or
// stall. Several units may share the bus, each on a port of its own.
class CEmulatedMachine
{
public:
    static constexpr const char* Serial = "ZR40-TEST-0001";

    struct Options
    {
        int port = 2;                // the device's port on bus 1, also its device number
        std::string serial = Serial; // empty: the device has no serial-number string
        bool driverBound = false;    // a kernel printer driver holds the interface at start
    };

    CEmulatedMachine();
    explicit CEmulatedMachine(const Options& options);
    ~CEmulatedMachine();
    CEmulatedMachine(const CEmulatedMachine&) = delete;
    CEmulatedMachine& operator=(const CEmulatedMachine&) = delete;

    // The device's path as the USB link names it.
    std::string GetPath() const;
    // The model's command log ("0xCODE payload-hex" per command).
    std::vector<std::string> GetLog() const;
    // Every byte that arrived on the bulk-out endpoint, and the bytes per claim of the
    // interface that carried any.
    std::vector<uint8_t> GetBulkOut() const;
    std::vector<size_t> GetBulkOutPerClaim() const;
    size_t GetBulkOutSize() const;
    // How many transfers reached the device (control and bulk).
    int GetTransferCount() const;
    // Status reads (control-IN of the 32-byte status record) seen so far.
    int GetStatusReads() const;
    void ClearRecord();

    // Time the device takes for each transfer on the bulk-out endpoint.
    void SetBulkOutDelay(int ms);
    // false: every transfer stalls, as a device that does not answer.
    void SetAnswering(bool answering);
    // Pulls the cable: transfers fail as on a vanished device and the bus reports the removal.
    void Unplug();
    // The bulk-out endpoint takes this many more bytes and then nothing (SIZE_MAX: no limit);
    // a transfer that waits for room is answered when room is given or it is cancelled.
    void SetBulkOutRoom(size_t bytes);
    // The bulk-out endpoint halts: transfers fail with a stall until the halt is cleared.
    void StallBulkOut();

    struct Record
    {
        bool claimed = false; // a program holds the printer interface now
        int busyRefusals = 0; // claims and transfers refused because another holds it
        bool driverBound = false;
        int driverDetaches = 0;
        int driverAttaches = 0;
        int haltsCleared = 0;
        int waitingUrbs = 0; // bulk-out transfers waiting for room
    };
    Record GetRecord() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};
