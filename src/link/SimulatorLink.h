#pragma once

#include "NamedEvent.h"
#include "SharedMemory.h"
#include "UsbPrintLink.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// The link to the machine simulator, a separate process on this computer that owns a named
// shared-memory block; each transfer step is handed over through a pair of named events.
//
// Device-change notices: the link binds an abstract-namespace datagram socket named after its
// process id and a random token, and writes both into the block (offsets 12 and 16) before
// every transfer. The simulator sends a notice there when it simulates an unplug, a replug or a
// power-off; the link posts its own notices (on open and close) to the same socket. The owner
// watches GetNotificationFd() and calls ProcessNotifications() on its own thread.
//
// Everything the simulator writes into the block (area offsets, capacities, data lengths) is
// checked against the mapped size before use, so a faulty simulator cannot make the link read
// or write outside the mapping.
class CSimulatorLink : public CUsbPrintLink
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
    bool IsMapped() const { return m_block.IsOpen(); }

    bool FindDevicePath(const std::string& name, std::string& path) override;
    int OpenDevice(const std::string& name, const std::string& path) override;
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

    bool OpenEvents();
    void CreateNoticeSocket();
    void PostNotice();
    // The checks before every transfer: a block is mapped, still as large as mapped, connected;
    // the notice fields are filled in.
    bool PrepareTransfer(int handle);
    std::optional<AreaView> FindArea(size_t headerOffset) const;
    bool Exchange(EventIndex request, EventIndex acknowledge);
    int ControlIn(int handle, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                  void* buffer, int length);
    void SetUpControl(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length);
    // The data length of an area after an answer; -1 when it exceeds the area's capacity.
    int AnsweredLength(const AreaView& area) const;

    uint8_t Byte(size_t offset) const { return m_block.Data()[offset]; }
    void SetByte(size_t offset, uint8_t value) { m_block.Data()[offset] = value; }
    uint16_t Get16(size_t offset) const;
    void Put16(size_t offset, uint16_t value);
    void Put32(size_t offset, uint32_t value);

    CSharedMemory m_block;
    CNamedEvent m_events[EventCount];
    int m_noticeFd = -1;
    uint32_t m_token = 0;
    uint8_t m_sequence[4] = {};
};
