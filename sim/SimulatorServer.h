#pragma once

#include "FirmwareModel.h"
#include "NamedEvent.h"
#include "SharedMemory.h"
#include "SimulatorProtocol.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Sizes of the shared block's areas; the simulator chooses them and writes them into the block.
struct BlockLayout
{
    uint16_t pathRoom = 4096;
    uint16_t controlPacket = 8;
    uint16_t controlCapacity = 16; // small, so that longer control payloads are split
    uint16_t bulkPacket = 64;
    uint16_t bulkCapacity = 512;
};

// The machine's side of the shared-block protocol: creates the block and the nine events,
// answers every handshake, and hands the transfers to the firmware model. One thread waits on
// each request event; the model is shared under one mutex.
class CSimulatorServer
{
public:
    CSimulatorServer(std::string machineName, const BlockLayout& layout,
                     const FirmwareOptions& options);
    ~CSimulatorServer();
    CSimulatorServer(const CSimulatorServer&) = delete;
    CSimulatorServer& operator=(const CSimulatorServer&) = delete;

    // Creates the shared objects (removing stale ones first) and starts answering.
    bool Start(bool connected);
    // Stops answering and removes the shared objects.
    void Stop();

    // Runs the model up to now and follows its power changes; called periodically.
    void Housekeeping();

    // The control interface: one command line in, the answer text out ("error: ..." on
    // failure).
    std::string Execute(const std::string& commandLine);
    // The control commands, one line each with their arguments, as "help" answers them.
    static std::string ControlHelp();

private:
    using Clock = CFirmwareModel::Clock;

    void Serve(SimProtocol::Pipe pipe);
    void Handle(SimProtocol::Pipe pipe);
    void Answer(SimProtocol::Pipe pipe, uint8_t sequence);
    void HandleControl();
    void HandleBulkOut();
    void HandleBulkIn();
    void HandleOutputFile();
    void WatchDisconnect();
    void RememberClient();
    void SetConnected(bool connected);
    void NotifyClients();
    void FollowPower();
    size_t AreaOffset(SimProtocol::Pipe pipe) const;
    uint16_t Get16(size_t offset) const;
    void Put16(size_t offset, uint16_t value);
    std::string StatusText();

    // One control command line, split, with its first argument when the command takes a number.
    struct ControlCall
    {
        std::vector<std::string> words;
        long long number = 0;
        Clock::time_point now;
        std::string line;
    };
    struct ControlCommand
    {
        const char* name;
        const char* arguments; // as the help shows them
        const char* help;      // lines after the first are indented under it
        long long low;         // the first argument's range; low > high: not a number
        long long high;
        std::string (*run)(CSimulatorServer& server, const ControlCall& call); // under m_mutex
    };
    static std::span<const ControlCommand> ControlCommands();

    // One control transfer from its setup stage to its status stage.
    struct ControlTransfer
    {
        bool active = false;
        uint8_t type = 0;
        uint16_t value = 0;
        uint16_t length = 0;
        bool firstStage = true;
        int dataStages = 0;
        std::vector<uint8_t> outData;
        std::vector<uint8_t> inData;
        size_t inSent = 0;
    };

    std::string m_machineName;
    BlockLayout m_layout;
    size_t m_controlArea = 0;
    size_t m_bulkOutArea = 0;
    size_t m_bulkInArea = 0;
    CSharedMemory m_block;
    CNamedEvent m_events[9];

    std::mutex m_mutex; // guards the model, the block's contents and everything below
    CFirmwareModel m_model;
    ControlTransfer m_control;
    int m_lastControlOutStages = 0;
    bool m_connected = false;
    bool m_wasPowered = true;
    std::set<std::pair<int32_t, uint32_t>> m_clients; // (process id, token)
    size_t m_shortStatus = 0; // bytes a status read delivers, 8..31; 0: the whole record

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_answering{true};
    std::atomic<int> m_delayMs{0};
    std::vector<std::thread> m_threads;
};
