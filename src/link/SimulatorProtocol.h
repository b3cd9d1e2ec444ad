#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// The shared-block protocol between the simulator link and the machine simulator: the names
// of the shared objects, the header and area layout, and the device-change notice sockets.
// Shared by both sides so that they cannot drift apart.
namespace SimProtocol {

inline std::string SharedMemoryName(const std::string& machineName)
{
    return "/IPC Memory for " + machineName;
}

inline constexpr const char* ControlRequest = "/USB Simulator Control Request";
inline constexpr const char* ControlAcknowledge = "/USB Simulator Control Acknowledge";
inline constexpr const char* BulkOutRequest = "/USB Simulator BulkOut Request";
inline constexpr const char* BulkOutAcknowledge = "/USB Simulator BulkOut Acknowledge";
inline constexpr const char* BulkInRequest = "/USB Simulator BulkIn Request";
inline constexpr const char* BulkInAcknowledge = "/USB Simulator BulkIn Acknowledge";
inline constexpr const char* OutputFileRequest = "/USB Simulator Output File Request";
inline constexpr const char* OutputFileAcknowledge = "/USB Simulator Output File Acknowledge";
inline constexpr const char* Disconnect = "/USB Simulator Disconnect";

inline constexpr const char* AllEvents[] = {
    ControlRequest,    ControlAcknowledge, BulkOutRequest,        BulkOutAcknowledge, BulkInRequest,
    BulkInAcknowledge, OutputFileRequest,  OutputFileAcknowledge, Disconnect,
};

// Every wait of a handshake.
inline constexpr int ExchangeTimeoutMs = 500;
// A whole control transfer, from its setup stage to its status stage: a simulator that answers
// each stage just in time cannot stretch one transfer beyond this.
inline constexpr int TransferTimeoutMs = 1000;

// Header offsets (16-bit and 32-bit values in host order).
namespace Header {
inline constexpr size_t Flags = 0;     // bit 7: bulk-out area busy
inline constexpr size_t Connected = 1; // bit 0: simulator connected
// Per pipe (control, bulk-out, bulk-in, output file): the sequence number of the request the
// link made last, and the one the simulator answered last. A late answer to a request given up
// earlier is thus recognised and not taken for the answer to the present one.
inline constexpr size_t RequestSequence = 2; // 4 bytes, one per pipe
inline constexpr size_t AnswerSequence = 6;  // 4 bytes, one per pipe
// Written by the simulator before it acknowledges an output-file request: 1 when it took the
// file, 0 when it refused it (not a readable regular file).
inline constexpr size_t OutputFileResult = 10;
inline constexpr size_t ClientProcess = 12; // process id of the link's owner
inline constexpr size_t ClientToken = 16;   // token naming the link's notice socket
inline constexpr size_t SetupActive = 20;
inline constexpr size_t RequestType = 21;
inline constexpr size_t Request = 22;
inline constexpr size_t Value = 24;
inline constexpr size_t Index = 26;
inline constexpr size_t Length = 28;
inline constexpr size_t ControlArea = 30;
inline constexpr size_t BulkOutArea = 32;
inline constexpr size_t BulkInArea = 34;
inline constexpr size_t Path = 36; // NUL-terminated, up to the first area
} // namespace Header

enum Pipe : size_t
{
    ControlPipe,
    BulkOutPipe,
    BulkInPipe,
    OutputFilePipe,
};

inline constexpr uint8_t BulkOutBusy = 0x80;
inline constexpr uint8_t ConnectedBit = 0x01;

// Offsets inside an area.
namespace Area {
inline constexpr size_t MaxPacket = 0;
inline constexpr size_t Capacity = 2;
inline constexpr size_t DataLength = 4;
inline constexpr size_t Stage = 6;
inline constexpr size_t Data = 7;
} // namespace Area

inline constexpr uint8_t TypeVendorOut = 0x41;
inline constexpr uint8_t TypeVendorIn = 0xC1;
inline constexpr uint8_t TypeClassIn = 0xA1;

// Device-change notices travel as 4-byte datagrams (the event code in host order) to an
// abstract-namespace Unix socket that each link binds; the block's fields at offsets 12 and 16
// name it.
std::string NoticeSocketName(pid_t pid, uint32_t token);
// Sends one notice; false when nobody listens on that name any more.
bool SendNotice(pid_t pid, uint32_t token, uint32_t event);

} // namespace SimProtocol
