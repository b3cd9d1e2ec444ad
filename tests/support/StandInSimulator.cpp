#include "StandInSimulator.h"

#include <cstring>

using namespace SimProtocol;

namespace {
std::vector<std::vector<uint8_t>> Packets(const std::vector<uint8_t>& bytes)
{
    std::vector<std::vector<uint8_t>> packets;
    for (size_t at = 0; at < bytes.size(); at += CStandInSimulator::Capacity) {
        const size_t end = std::min(bytes.size(), at + CStandInSimulator::Capacity);
        packets.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return packets;
}

// The identification with its two-byte length prefix.
std::vector<uint8_t> Identification()
{
    const std::string id = "MFG:Test;MDL:ZR-40;";
    std::vector<uint8_t> bytes = {0, static_cast<uint8_t>(id.size() + 2)};
    bytes.insert(bytes.end(), id.begin(), id.end());
    return bytes;
}
} // namespace

CStandInSimulator::CStandInSimulator(std::string machineName) : m_name(std::move(machineName)) {}

CStandInSimulator::~CStandInSimulator()
{
    StopServing();
    m_block.Close();
    CSharedMemory::Unlink(SharedMemoryName(m_name));
    for (int i = 0; i < 9; ++i) {
        m_events[i].Close();
        CNamedEvent::Unlink(AllEvents[i]);
    }
}

bool CStandInSimulator::Start()
{
    if (!m_lock.Take() || !m_block.Create(SharedMemoryName(m_name), BlockSize))
        return false;
    for (int i = 0; i < 9; ++i)
        if (!m_events[i].Create(AllEvents[i]))
            return false;
    SetByte(Header::Connected, ConnectedBit);
    Put16(Header::ControlArea, ControlArea);
    Put16(Header::BulkOutArea, BulkOutArea);
    Put16(Header::BulkInArea, BulkInArea);
    for (uint16_t area : {ControlArea, BulkOutArea, BulkInArea}) {
        Put16(area + Area::MaxPacket, PacketSize);
        Put16(area + Area::Capacity, Capacity);
    }
    m_running = true;
    for (Pipe pipe : {ControlPipe, BulkOutPipe, BulkInPipe, OutputFilePipe})
        m_threads.emplace_back([this, pipe] { Serve(pipe); });
    return true;
}

void CStandInSimulator::SetHandler(Handler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handler = std::move(handler);
}

void CStandInSimulator::StopServing()
{
    m_running = false;
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

void CStandInSimulator::Die()
{
    StopServing();
    m_block.Close();
}

void CStandInSimulator::Serve(Pipe pipe)
{
    while (m_running) {
        if (!m_events[pipe * 2].Wait(20))
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_handler ? m_handler(*this, pipe) : AnswerLikeAMachine(pipe))
            Acknowledge(pipe);
    }
}

bool CStandInSimulator::AnswerLikeAMachine(Pipe pipe)
{
    switch (pipe) {
    case ControlPipe: {
        const uint8_t type = Byte(Header::RequestType);
        const uint16_t value = Get16(Header::Value);
        if (Byte(Header::SetupActive) == 1) {
            m_nextPacket = 0;
            if (type == TypeVendorOut) {
                m_commands.push_back(value);
                break;
            }
            const auto reply = replies.find(value);
            m_packets = !controlInPackets.empty() ? controlInPackets
                        : type == TypeClassIn     ? Packets(Identification())
                        : reply != replies.end()  ? Packets(reply->second)
                                                  : std::vector<std::vector<uint8_t>>{};
        } else if (type != TypeVendorOut && Byte(ControlArea + Area::Stage) == 0) {
            std::vector<uint8_t> packet;
            if (m_nextPacket < m_packets.size())
                packet = m_packets[m_nextPacket++];
            m_block.Write(ControlArea + Area::Data, packet.data(), packet.size());
            Put16(ControlArea + Area::DataLength, static_cast<uint16_t>(packet.size()));
        }
        break;
    }
    case BulkInPipe:
        Put16(BulkInArea + Area::DataLength, 0);
        break;
    case OutputFilePipe:
        SetByte(Header::OutputFileResult, 1);
        break;
    case BulkOutPipe:
        break;
    }
    return true;
}

std::vector<uint16_t> CStandInSimulator::Commands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void CStandInSimulator::Acknowledge(Pipe pipe, bool stale)
{
    const uint8_t sequence = Byte(Header::RequestSequence + pipe);
    SetByte(Header::AnswerSequence + pipe, static_cast<uint8_t>(stale ? sequence + 128 : sequence));
    m_events[pipe * 2 + 1].Set();
}
