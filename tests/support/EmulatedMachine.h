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
class CEmulatedMachine
{
public:
    static constexpr const char* Serial = "ZR40-TEST-0001";

    CEmulatedMachine();
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

    struct State;

private:
    std::unique_ptr<State> m_state;
};
