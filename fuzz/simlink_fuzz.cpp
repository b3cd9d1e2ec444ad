// The simulator link against a shared block whose header and area fields the fuzzer writes:
// the block's size, where the areas lie, their packet sizes and capacities, the data lengths of
// the answers, the connected flag, and between answers the block shrunk or its simulator gone.
// The link must refuse what does not fit, give back no more than was asked, never write past
// the buffers it was handed, and never reach past the block (it reads and writes through the
// descriptor, so an access past the end fails; the sanitizers watch the buffers).
//
// The simulator's names are global, so this target holds the lock the simulator tests share.
#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorLink.h"
#include "SimulatorProtocol.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace SimProtocol;

namespace {

constexpr const char* MachineName = "fuzz-link";
constexpr const char* SimulatorTestLock = "/tmp/zr40-simulator-tests.lock";
constexpr size_t MaxBlock = 1024;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// The simulator's side: creates the block and the events and answers every request at once,
// first writing into the block the fields the fuzzer chose for that answer.
class CFuzzSimulator
{
public:
    CFuzzSimulator()
    {
        const int fd = open(SimulatorTestLock, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        Check(fd >= 0 && flock(fd, LOCK_EX) == 0);
        for (int i = 0; i < 9; ++i)
            Check(m_events[i].Create(AllEvents[i]));
        for (Pipe pipe : {ControlPipe, BulkOutPipe, BulkInPipe, OutputFilePipe})
            m_threads.emplace_back([this, pipe] { Serve(pipe); });
    }

    // A fresh block of the given size, laid out as the simulator lays it out, then changed by
    // the fuzzer's first patches.
    void Begin(size_t size, const uint8_t* answers, size_t count)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_block.Close();
        Check(m_block.Create(SharedMemoryName(MachineName), size));
        m_size = size;
        m_answers = answers;
        m_left = count;
        const uint16_t areas[3] = {64, 128, 256};
        SetByte(Header::Connected, ConnectedBit);
        for (size_t i = 0; i < 3; ++i) {
            Put16(Header::ControlArea + 2 * i, areas[i]);
            Put16(areas[i] + Area::MaxPacket, 8);
            Put16(areas[i] + Area::Capacity, 32);
        }
        Put16(64 + Area::Data, 40); // the identification's length prefix
        Patch();
    }
    // Gone as a killed simulator is: its block stays, unserved.
    void Die()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_block.Close();
    }

private:
    void Serve(Pipe pipe)
    {
        for (;;) {
            if (!m_events[pipe * 2].Wait(100))
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            Patch();
            SetByte(Header::AnswerSequence + pipe, Byte(Header::RequestSequence + pipe));
            m_events[pipe * 2 + 1].Set();
        }
    }

    // Up to three fields, each a choice of field and a 16-bit value; a field choice may also
    // shrink the block.
    void Patch()
    {
        const int count = Next() % 4;
        for (int i = 0; i < count; ++i) {
            const uint8_t field = Next();
            const uint16_t value = static_cast<uint16_t>(Next() | Next() << 8);
            const uint16_t area = Get16(Header::ControlArea + 2 * (field % 3));
            switch (field / 3 % 8) {
            case 0:
                Put16(Header::ControlArea + 2 * (field % 3), value);
                break;
            case 1:
                Put16(area + Area::MaxPacket, value);
                break;
            case 2:
                Put16(area + Area::Capacity, value);
                break;
            case 3:
            case 4:
                Put16(area + Area::DataLength, value);
                break;
            case 5:
                SetByte(Header::Connected, static_cast<uint8_t>(value));
                SetByte(Header::OutputFileResult, static_cast<uint8_t>(value >> 8));
                break;
            case 6:
                Put16(value % m_size, value);
                break;
            case 7:
                // Shrunk under the link; the creator's mapping is not touched again.
                if (value % 4 == 0 && m_block.IsOpen())
                    Check(ftruncate(m_block.Fd(), static_cast<off_t>(value % m_size)) == 0);
                break;
            }
        }
    }

    uint8_t Next()
    {
        if (m_left == 0)
            return 0;
        --m_left;
        return *m_answers++;
    }
    // Through the descriptor only, as the real simulator's block may have been shrunk.
    uint8_t Byte(size_t offset)
    {
        uint8_t value = 0;
        m_block.Read(offset, &value, sizeof value);
        return value;
    }
    uint16_t Get16(size_t offset)
    {
        uint16_t value = 0;
        m_block.Read(offset, &value, sizeof value);
        return value;
    }
    void SetByte(size_t offset, uint8_t value) { m_block.Write(offset, &value, sizeof value); }
    void Put16(size_t offset, uint16_t value) { m_block.Write(offset, &value, sizeof value); }

    CNamedEvent m_events[9];
    CSharedMemory m_block;
    size_t m_size = 0;
    std::mutex m_mutex;
    const uint8_t* m_answers = nullptr;
    size_t m_left = 0;
    std::vector<std::thread> m_threads;
};

// A buffer with guard bytes behind the part handed to the link.
struct CGuarded
{
    explicit CGuarded(int length) : bytes(static_cast<size_t>(length) + 16, 0xA5), length(length) {}
    bool Intact() const
    {
        for (size_t i = static_cast<size_t>(length); i < bytes.size(); ++i)
            if (bytes[i] != 0xA5)
                return false;
        return true;
    }
    std::vector<uint8_t> bytes;
    int length;
};

void RunOperation(CSimulatorLink& link, CFuzzSimulator& simulator, uint8_t op, uint8_t arg)
{
    const int handle = link.GetDeviceHandle();
    switch (op % 8) {
    case 0:
        link.Close();
        link.SetName(MachineName);
        (void)link.Open();
        break;
    case 1: {
        CGuarded buffer(arg * 17);
        const int count = link.VendorIn(handle, 0, op, 0, buffer.bytes.data(), buffer.length);
        Check(count <= buffer.length && buffer.Intact());
        break;
    }
    case 2: {
        const std::vector<uint8_t> payload(static_cast<size_t>(arg) * 9, 0x5A);
        (void)link.VendorOut(handle, 0, op, 0, payload.data(), static_cast<int>(payload.size()));
        break;
    }
    case 3: {
        CGuarded buffer(arg % 64 + 1);
        char* text = reinterpret_cast<char*>(buffer.bytes.data());
        if (link.QueryDeviceId(handle, text, buffer.length))
            Check(std::memchr(text, '\0', static_cast<size_t>(buffer.length)) != nullptr);
        Check(buffer.Intact());
        break;
    }
    case 4: {
        CGuarded buffer(arg * 5);
        const int count = link.BulkRead(buffer.bytes.data(), buffer.length);
        Check(count <= buffer.length && buffer.Intact());
        break;
    }
    case 5: {
        const std::vector<uint8_t> data(static_cast<size_t>(arg) * 11, 'G');
        (void)link.BulkWrite(data.data(), static_cast<int>(data.size()));
        break;
    }
    case 6:
        (void)link.OutputFile(-1, std::string(arg, 'p').insert(0, "/"), "job");
        break;
    case 7:
        if (arg == 0xD1)
            simulator.Die();
        else
            (void)link.CheckConnection();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Never destroyed: its threads serve until the process ends.
    static CFuzzSimulator& simulator = *new CFuzzSimulator;
    if (size < 3)
        return 0;
    // The block's size, then up to eight operations, then what the simulator writes.
    const size_t blockSize = (data[0] | data[1] << 8) % MaxBlock + 1;
    const size_t ops = std::min<size_t>(data[2] % 8 + 1, (size - 3) / 2);
    const size_t answers = 3 + 2 * ops;
    simulator.Begin(blockSize, data + answers, size - answers);
    CSimulatorLink link;
    link.SetName(MachineName);
    (void)link.Open();
    for (size_t i = 0; i < ops; ++i)
        RunOperation(link, simulator, data[3 + 2 * i], data[4 + 2 * i]);
    return 0;
}
