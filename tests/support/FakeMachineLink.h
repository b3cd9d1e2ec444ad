#pragma once

#include "MachineCommands.h"
#include "MachineStatus.h"
#include "VendorLink.h"

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

// A device model for tests: the link's device primitives answer like a machine, in process and
// without timing, beside the real machine's and the simulator's, so that it can stand in either
// slot of CModelingMachine. Replies are held in the machine's byte order, chosen by bigEndian.
class FakeMachineLink : public CVendorLink
{
public:
    struct Transfer
    {
        bool out;
        uint16_t code;
        std::vector<uint8_t> data;
    };

    // --- the machine's behaviour -------------------------------------------------------------
    bool bigEndian = false;      // the machine's byte order
    bool present = true;         // the device can be found and opened
    bool answersDeviceId = true; // CheckConnection succeeds
    bool ready = true;           // GetByteOrder reports ready
    int acceptAfterReads = 1;    // command status reads that still show "not accepted"
    int executingReads = 0;      // reads after acceptance that still show "executing"
    bool neverAccepts = false;
    bool failCommandStatus = false;
    uint32_t commandErrorBits = 0;         // added to word 1 of every command status (0x10: error)
    int statusBytes = MachineStatus::Size; // bytes delivered for the status record
    MachineStatus status{};                // delivered for control code 0x0100
    std::map<uint16_t, std::vector<uint8_t>> replies; // reply of each query code (machine order)
    std::deque<std::vector<uint8_t>> bulkIn;          // pieces delivered by BulkRead
    bool endlessEmptyReads = false; // after bulkIn, BulkRead delivers empty pieces for ever
    std::function<void(uint16_t code, const std::vector<uint8_t>& payload)> onCommand;

    std::vector<Transfer> log;
    std::vector<uint8_t> bulkOut;

    FakeMachineLink()
    {
        status.stateWord = MachineState::Ready;
        status.eventWord = 0;
        status.position = {0, 0, 0};
        status.spindleSpeed = 0;
        status.word24 = 0;
        status.override = 100;
        status.byte27 = status.byte28 = 0;
        status.tail = {0, 0, 0};
    }
    ~FakeMachineLink() override { CloseHandleOnly(); }

    // A name no other test process uses, so that parallel tests do not share a lock file.
    static std::string UniqueName(const std::string& base)
    {
        return base + " " + std::to_string(getpid());
    }

    // --- helpers for building replies in the machine's byte order ----------------------------
    std::vector<uint8_t> Encode16(std::initializer_list<int> values) const
    {
        std::vector<uint8_t> bytes;
        for (int v : values) {
            const auto u = static_cast<uint16_t>(v);
            if (bigEndian) {
                bytes.push_back(static_cast<uint8_t>(u >> 8));
                bytes.push_back(static_cast<uint8_t>(u));
            } else {
                bytes.push_back(static_cast<uint8_t>(u));
                bytes.push_back(static_cast<uint8_t>(u >> 8));
            }
        }
        return bytes;
    }
    std::vector<uint8_t> Encode32(std::initializer_list<int64_t> values) const
    {
        std::vector<uint8_t> bytes;
        for (int64_t v : values)
            Append32(bytes, static_cast<uint32_t>(v));
        return bytes;
    }
    void SetReply32(uint16_t code, std::initializer_list<int64_t> values)
    {
        replies[code] = Encode32(values);
    }
    std::vector<Transfer> CommandsSent() const
    {
        std::vector<Transfer> sent;
        for (const Transfer& t : log)
            if (t.out)
                sent.push_back(t);
        return sent;
    }
    int CountOut(uint16_t code) const
    {
        int count = 0;
        for (const Transfer& t : log)
            count += t.out && t.code == code;
        return count;
    }

    // --- device primitives -----------------------------------------------------------------
    bool FindDevicePath(const std::string&, std::string& path) override
    {
        if (!present)
            return false;
        path = "fake";
        return true;
    }
    int OpenDevice(const std::string&, const std::string&) override { return present ? 3 : -1; }
    std::string DeviceLockName(int) override { return m_name; }
    bool CloseDevice(int) override { return true; }
    bool QueryDeviceId(int, char* buffer, int length) override
    {
        if (!answersDeviceId)
            return false;
        std::strncpy(buffer, "MFG:Test;MDL:ZR-40;", static_cast<size_t>(length));
        return true;
    }
    bool OutputFile(int, const std::string& path, const std::string&) override
    {
        outputFiles.push_back(path);
        return present;
    }
    bool BulkWrite(const void* data, int length) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        bulkOut.insert(bulkOut.end(), bytes, bytes + length);
        return present;
    }
    int BulkRead(void* buffer, int length) override
    {
        if (bulkIn.empty())
            return endlessEmptyReads ? 0 : -1;
        std::vector<uint8_t> piece = std::move(bulkIn.front());
        bulkIn.pop_front();
        const int count = std::min(length, static_cast<int>(piece.size()));
        if (count > 0)
            std::memcpy(buffer, piece.data(), static_cast<size_t>(count));
        return count;
    }
    int GetNotificationFd() const override { return -1; }
    void ProcessNotifications() override {}
    // No machines are installed unless a test lists some.
    bool ListPrinters(std::vector<PrinterEntry>& printers) override
    {
        printers.clear();
        return true;
    }

    bool VendorOut(int, uint8_t, uint16_t code, uint16_t, const void* data, int length) override
    {
        if (!present)
            return false;
        const auto* bytes = static_cast<const uint8_t*>(data);
        std::vector<uint8_t> payload(bytes, bytes + length);
        log.push_back({true, code, payload});
        if (code == Cmd::ClearErrorFlag || code == Cmd::PowerOff)
            return true;
        m_notAcceptedReads = neverAccepts ? -1 : acceptAfterReads;
        m_executingReads = executingReads;
        m_pendingReply.clear();
        if (auto it = replies.find(code); it != replies.end())
            m_pendingReply = it->second;
        if (onCommand)
            onCommand(code, payload);
        return true;
    }

    int VendorIn(int, uint8_t, uint16_t code, uint16_t, void* buffer, int length) override
    {
        if (!present)
            return -1;
        log.push_back({false, code, {}});
        std::vector<uint8_t> reply;
        switch (code) {
        case Cmd::GetByteOrder:
            reply = Encode16({ready ? 0 : 1, ByteOrderMarker});
            break;
        case Cmd::GetCommandStatus:
            if (failCommandStatus)
                return -1;
            reply = CommandStatusReply();
            break;
        case Cmd::GetMachineStatus:
            reply = StatusReply();
            reply.resize(static_cast<size_t>(std::min<int>(statusBytes, MachineStatus::Size)));
            break;
        case Cmd::ReadReply:
            reply = m_pendingReply;
            break;
        default:
            if (auto it = replies.find(code); it != replies.end())
                reply = it->second;
            else
                return -1;
        }
        const int count = std::min(length, static_cast<int>(reply.size()));
        if (count > 0)
            std::memcpy(buffer, reply.data(), static_cast<size_t>(count));
        return count;
    }

    std::vector<std::string> outputFiles;

private:
    void Append32(std::vector<uint8_t>& bytes, uint32_t u) const
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian ? 24 - 8 * i : 8 * i;
            bytes.push_back(static_cast<uint8_t>(u >> shift));
        }
    }

    std::vector<uint8_t> CommandStatusReply()
    {
        uint32_t word1 = commandErrorBits;
        if (m_notAcceptedReads != 0) {
            word1 |= CommandStatus::NotAccepted;
            if (m_notAcceptedReads > 0)
                --m_notAcceptedReads;
        } else if (m_executingReads > 0) {
            word1 |= CommandStatus::Executing;
            --m_executingReads;
        } else if (!m_pendingReply.empty()) {
            word1 |= static_cast<uint32_t>(m_pendingReply.size()) << 24;
        }
        std::vector<uint8_t> bytes;
        Append32(bytes, status.stateWord);
        Append32(bytes, word1);
        return bytes;
    }

    std::vector<uint8_t> StatusReply() const
    {
        std::vector<uint8_t> bytes;
        Append32(bytes, status.stateWord);
        Append32(bytes, status.eventWord);
        for (int32_t v : status.position)
            Append32(bytes, static_cast<uint32_t>(v));
        Append32(bytes, static_cast<uint32_t>(status.spindleSpeed));
        const auto w = static_cast<uint16_t>(status.word24);
        if (bigEndian) {
            bytes.push_back(static_cast<uint8_t>(w >> 8));
            bytes.push_back(static_cast<uint8_t>(w));
        } else {
            bytes.push_back(static_cast<uint8_t>(w));
            bytes.push_back(static_cast<uint8_t>(w >> 8));
        }
        bytes.push_back(status.override);
        bytes.push_back(status.byte27);
        bytes.push_back(status.byte28);
        bytes.insert(bytes.end(), status.tail.begin(), status.tail.end());
        return bytes;
    }

    int m_notAcceptedReads = 0;
    int m_executingReads = 0;
    std::vector<uint8_t> m_pendingReply;
};
