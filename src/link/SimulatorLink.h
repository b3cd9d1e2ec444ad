#pragma once

#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorProtocol.h"
#include "VendorLink.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unistd.h>
#include <vector>

// The link to the machine simulator, a separate process on this computer that owns a named
// shared-memory block; each transfer step is handed over through a pair of named events.
//
// Device-change notices: the link binds an abstract-namespace datagram socket named after its
// process id and a random token, and writes both into the block (offsets 12 and 16) before
// every transfer. The simulator sends a notice there when it simulates an unplug, a replug or a
// power-off, or when it ends. The owner watches GetNotificationFd() and calls
// ProcessNotifications() on its own thread; the notices waiting then reach the target as one.
//
// The link finds out itself when its simulator has gone (its creator's lock on the block is
// free: killed, ended, or replaced by a new one) or the block was shrunk: it closes the block
// and posts the same notice an unplug brings. The next open then fails once, so that the owner
// learns of the loss even when a new simulator has taken the old one's place meanwhile.
//
// The block is reached through its descriptor, never mapped: a block shrunk under the link
// makes an access fail instead of faulting. Everything the simulator writes into the block
// (area offsets, capacities, data lengths) is checked against the size found when the block
// was opened.
class CSimulatorLink : public CVendorLink
{
public:
    CSimulatorLink();
    ~CSimulatorLink() override;
    CSimulatorLink(const CSimulatorLink&) = delete;
    CSimulatorLink& operator=(const CSimulatorLink&) = delete;

    bool OutputFile(int fd, const std::string& path, const std::string& jobName) override;
    bool BulkWrite(const void* data, int length) override;
    int BulkRead(void* buffer, int length) override;

    int GetNotificationFd() const override { return m_noticeFd; }
    void ProcessNotifications() override;
    uint32_t GetNoticeToken() const { return m_token; }
    bool HasBlock() const { return m_block.IsOpen(); }

    bool FindDevicePath(const std::string& name, std::string& path) override;
    int OpenDevice(const std::string& name, const std::string& path) override;
    std::string DeviceLockName(int) override { return m_name; }
    // The simulator is no queue of the print system: it lists no machines.
    bool ListPrinters(std::vector<PrinterEntry>& printers) override
    {
        printers.clear();
        return true;
    }
    bool CloseDevice(int handle) override;
    bool QueryDeviceId(int handle, char* buffer, int length) override;
    int VendorIn(int handle, uint8_t request, uint16_t value, uint16_t index, void* buffer,
                 int length) override;
    bool VendorOut(int handle, uint8_t request, uint16_t value, uint16_t index, const void* data,
                   int length) override;

private:
    // One transfer area as found in the block, already checked against the mapping.
    struct AreaView
    {
        size_t offset = 0;
        uint16_t maxPacket = 0;
        uint16_t capacity = 0;
    };
    enum EventIndex
    {
        ControlRequest,
        ControlAcknowledge,
        BulkOutRequest,
        BulkOutAcknowledge,
        BulkInRequest,
        BulkInAcknowledge,
        OutputFileRequest,
        OutputFileAcknowledge,
        Disconnect,
        EventCount
    };

    using Clock = std::chrono::steady_clock;

    bool OpenEvents();
    void CreateNoticeSocket();
    void PostNotice();
    // The checks before every transfer, once for the whole transfer: a block is open, still
    // served by its simulator (not replaced), still as large as found, connected; the notice
    // fields are filled in (by the setup stage of a control transfer). A block whose simulator
    // has gone (or that was shrunk) is given up as a lost device.
    bool BeginTransfer(int handle, bool control = false);
    // The result of a transfer; a transfer that failed on a broken or abandoned block gives the
    // block up as a lost device.
    bool EndTransfer(bool succeeded);
    void LoseDevice();
    std::optional<AreaView> FindArea(size_t headerOffset);
    // One handshake; waits at most the handshake time and never past the transfer's deadline.
    bool Exchange(EventIndex request, EventIndex acknowledge,
                  Clock::time_point transferDeadline = Clock::time_point::max());
    bool ControlOut(uint8_t request, uint16_t value, uint16_t index, const uint8_t* payload,
                    int length);
    int ControlIn(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t* out,
                  int length);
    int ControlInTransfer(int handle, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                          void* buffer, int length);
    bool BulkWritePieces(const uint8_t* bytes, int length);
    int BulkReadPiece(void* buffer, int length);
    bool OutputPath(const std::string& path);
    void SetUpControl(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length);
    // The data length of an area after an answer, with as much of its data as fits in wanted
    // bytes copied to out; -1 when the length exceeds the area's capacity.
    int ReadAnswer(const AreaView& area, void* out, int wanted);
    // Sets an area's stage flag with an empty data length, in one write.
    void ClearStage(size_t areaOffset, uint8_t stage);

    // Block access; a failed one (a block shrunk meanwhile) fails the transfer in progress.
    bool ReadBlock(size_t offset, void* data, size_t length);
    bool WriteBlock(size_t offset, const void* data, size_t length);
    uint8_t Byte(size_t offset);
    void SetByte(size_t offset, uint8_t value) { WriteBlock(offset, &value, sizeof value); }

    CSharedMemory m_block;
    // The header's fixed fields as read at the start of the present transfer.
    uint8_t m_header[SimProtocol::Header::Path] = {};
    std::vector<uint8_t> m_answer;
    CNamedEvent m_events[EventCount];
    int m_noticeFd = -1;
    // The notice socket's name holds the process that bound it, which is what the block names.
    const pid_t m_process = getpid();
    uint32_t m_token = 0;
    uint8_t m_sequence[4] = {};
    bool m_blockFault = false;
    bool m_lossUnreported = false;
};
