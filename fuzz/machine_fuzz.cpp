// The command layer over a link whose every read returns bytes chosen by the fuzzer: command
// status words with random reply lengths, status records, replies, report pieces of any
// length. Decoding must stay inside its buffers, give back no more than was asked, and end
// each wait when the link fails.
#include "MachineCommands.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A link that answers from the fuzzer's bytes. A read takes a count (which may be short or
// fail) and then that many bytes; once the bytes are used up every read fails, as an unplugged
// device does, so that no wait outlasts the input.
class CFuzzLink : public CSimulatorLink
{
public:
    void Feed(const uint8_t* data, size_t size)
    {
        m_data = data;
        m_left = size;
    }
    bool answerByteOrder = true;

    bool FindDevicePath(const std::string&, std::string& path) override
    {
        path = "fuzz";
        return true;
    }
    int OpenDevice(const std::string&, const std::string&) override { return 3; }
    bool CloseDevice(int) override { return true; }
    bool QueryDeviceId(int, char* buffer, int length) override
    {
        std::strncpy(buffer, "MFG:Fuzz;MDL:ZR-40;", size_t(length));
        return true;
    }
    int GetNotificationFd() const override { return -1; }
    void ProcessNotifications() override {}
    bool VendorOut(int, uint8_t, uint16_t, uint16_t, const void*, int) override { return true; }
    int VendorIn(int, uint8_t, uint16_t code, uint16_t, void* buffer, int length) override
    {
        if (code == Cmd::GetByteOrder && answerByteOrder) {
            const uint16_t words[2] = {0, ByteOrderMarker};
            std::memcpy(buffer, words, size_t(std::min(length, 4)));
            return std::min(length, 4);
        }
        return Take(buffer, length);
    }
    int BulkRead(void* buffer, int length) override { return Take(buffer, length); }
    bool BulkWrite(const void*, int) override { return true; }

private:
    // A count from 0 to length (or a failure), then as many bytes as are left of it.
    int Take(void* buffer, int length)
    {
        if (m_left == 0 || length < 0)
            return -1;
        const uint8_t pick = *m_data++;
        --m_left;
        if (pick == 0xFF)
            return -1;
        // Full reads are the common case of a working device; the rest are short.
        int count = pick >= 0x80 ? length : std::min<int>(pick, length);
        count = std::min<int>(count, int(m_left));
        std::memcpy(buffer, m_data, size_t(count));
        m_data += count;
        m_left -= size_t(count);
        return count;
    }

    const uint8_t* m_data = nullptr;
    size_t m_left = 0;
};

struct CFuzzMachine
{
    CFuzzLink* link;
    std::unique_ptr<CModelingMachine> machine;

    CFuzzMachine()
    {
        auto fuzzLink = std::make_unique<CFuzzLink>();
        link = fuzzLink.get();
        machine = std::make_unique<CModelingMachine>(std::move(fuzzLink),
                                                     std::make_unique<CSimulatorLink>());
        // One name for every run, so that runs leave one lock file behind, not one each.
        if (!machine->SelectMachine("fuzz"))
            std::abort();
    }
};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void RunOperation(CModelingMachine& machine, uint8_t op, uint8_t arg)
{
    switch (op % 12) {
    case 0: {
        MachineStatus status;
        Check(machine.ReadMachineStatus(status) <= MachineStatus::Size);
        break;
    }
    case 1:
        (void)machine.GetCommandStatus().ReplyLength();
        break;
    case 2: {
        int16_t words[5];
        (void)machine.GetFatalError(words);
        break;
    }
    case 3:
        if (const auto version = machine.GetFirmwareVersion())
            Check(version->size() <= size_t(CModelingMachine::FirmwareReplyMax));
        break;
    case 4: {
        int64_t total = 0;
        (void)machine.GetSystemReport([&](const char*, int length) {
            Check(length >= 0 && length <= CModelingMachine::ReportChunk);
            total += length;
        });
        break;
    }
    case 5: {
        // A query with a buffer of any size; the guard bytes after it must stay untouched.
        const int length = arg % 40;
        uint8_t buffer[48];
        std::memset(buffer, 0xA5, sizeof buffer);
        const int count = machine.Query(uint16_t(0x0200 + arg), buffer, length);
        Check(count <= length);
        for (size_t i = size_t(length); i < sizeof buffer; ++i)
            Check(buffer[i] == 0xA5);
        break;
    }
    case 6: {
        AxisTriple position;
        (void)machine.GetPosition(position);
        break;
    }
    case 7: {
        MachineSettings settings;
        (void)machine.GetMachineSettings(settings);
        break;
    }
    case 8: {
        SpindleTimeRecord record;
        (void)machine.GetSpindleTime(record);
        break;
    }
    case 9:
        (void)machine.WaitForCompletion();
        break;
    case 10: {
        int16_t code = 0;
        (void)machine.GetCommandError(code);
        (void)machine.GetAutoPowerOffTime();
        (void)machine.GetSpindleUnit();
        break;
    }
    case 11: {
        // Probing the byte order from the fuzzer's bytes too.
        auto& link = static_cast<CFuzzLink&>(machine.GetLink());
        link.answerByteOrder = (arg & 1) != 0;
        (void)machine.SelectMachine(link.GetName());
        link.answerByteOrder = true;
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CFuzzMachine fuzz;
    if (size < 2)
        return 0;
    // The first bytes choose up to four operations; the rest is what the link reads.
    const size_t ops = std::min<size_t>(data[0] % 4 + 1, (size - 1) / 2);
    fuzz.link->Feed(data + 1 + 2 * ops, size - 1 - 2 * ops);
    for (size_t i = 0; i < ops; ++i)
        RunOperation(*fuzz.machine, data[1 + 2 * i], data[2 + 2 * i]);
    return 0;
}
