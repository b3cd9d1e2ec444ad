#pragma once

#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorProcess.h"
#include "SimulatorProtocol.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A stand-in for the simulator inside the test process, for the faults the real one never
// makes: it creates the shared block and the events as zr40-sim does and answers each request
// through a handler the test chooses, which may answer late, wrongly or not at all. It reaches
// its block through the descriptor only, so that a test can shrink the block under the link
// without faulting itself. Its names are global: it holds the simulator test lock while it runs.
class CStandInSimulator
{
public:
    static constexpr size_t BlockSize = 256;
    static constexpr uint16_t ControlArea = 64;
    static constexpr uint16_t BulkOutArea = 112;
    static constexpr uint16_t BulkInArea = 176;
    static constexpr uint16_t PacketSize = 8;
    static constexpr uint16_t Capacity = 16;

    // Answers one request of a pipe; true acknowledges it with its own sequence number.
    using Handler = std::function<bool(CStandInSimulator&, SimProtocol::Pipe)>;

    explicit CStandInSimulator(std::string machineName);
    ~CStandInSimulator();
    CStandInSimulator(const CStandInSimulator&) = delete;
    CStandInSimulator& operator=(const CStandInSimulator&) = delete;

    // Creates the block (connected) and the events and starts answering.
    bool Start();
    // The handler for the requests from now on; an empty one answers like a machine.
    void SetHandler(Handler handler);
    // Gone as a killed simulator is: no more answers, its block and events left behind.
    void Die();
    bool Stopping() const { return !m_running; }

    // The answer of a machine that knows only what replies holds: a control-IN transfer
    // delivers the reply of its value (the identification for the class request) in packets of
    // the area's capacity, then empty packets; a control-OUT transfer's value is logged;
    // bulk-in has nothing; an output file is taken.
    bool AnswerLikeAMachine(SimProtocol::Pipe pipe);
    std::map<uint16_t, std::vector<uint8_t>> replies;
    // When not empty, the packets every control-IN transfer delivers instead, whatever it asks.
    std::vector<std::vector<uint8_t>> controlInPackets;
    // The values of the control-OUT transfers received, in order.
    std::vector<uint16_t> Commands();

    // The block, through its descriptor.
    CSharedMemory& Block() { return m_block; }
    uint8_t Byte(size_t offset) const { return Get<uint8_t>(offset); }
    void SetByte(size_t offset, uint8_t value) { m_block.Write(offset, &value, sizeof value); }
    uint16_t Get16(size_t offset) const { return Get<uint16_t>(offset); }
    void Put16(size_t offset, uint16_t value) { m_block.Write(offset, &value, sizeof value); }
    // Acknowledges the pipe's pending request, or answers with a sequence number that belongs
    // to no request.
    void Acknowledge(SimProtocol::Pipe pipe, bool stale = false);

private:
    template <typename T> T Get(size_t offset) const
    {
        T value{};
        m_block.Read(offset, &value, sizeof value);
        return value;
    }
    void Serve(SimProtocol::Pipe pipe);
    void StopServing();

    std::string m_name;
    CSimulatorTestLock m_lock;
    CSharedMemory m_block;
    CNamedEvent m_events[9];
    std::mutex m_mutex; // one request at a time, and the handler
    Handler m_handler;
    std::vector<std::vector<uint8_t>> m_packets; // of the control-IN transfer under way
    size_t m_nextPacket = 0;
    std::vector<uint16_t> m_commands;
    std::atomic<bool> m_running{false};
    std::vector<std::thread> m_threads;
};
