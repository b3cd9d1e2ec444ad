#include "SimulatorServer.h"

#include "MachineCommands.h"
#include "MachineLink.h"
#include "RawBytes.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

using namespace SimProtocol;

namespace {
constexpr int WaitSliceMs = 100; // how often the serving threads look at the stop flag
constexpr uint16_t VendorCommandRequest = 1;

const char* const HelpText =
    "commands:\n"
    "  status                      state, position (um), spindle, override, mode, ...\n"
    "  log | log-clear             commands received: \"0xCODE payload-hex\" per line\n"
    "  estop CODE                  emergency stop with a fatal-error code\n"
    "  command-error CODE [paused] a command error waiting to be reported\n"
    "  operation-error             set event bit 0x10 (error during an operation)\n"
    "  motor-load-fail on|off      make motor-load tests fail through event bit 0x10\n"
    "  unplug | replug             simulated cable pull and reconnection\n"
    "  power-off [auto] | power-on simulated power switch (power-on initialises again);\n"
    "                              \"auto\": as the auto power-off does (the flag counts it)\n"
    "  delay MS                    delay every answer by MS milliseconds (0: none)\n"
    "  stop-answering | resume-answering\n"
    "  state N                     force state N (0-1 initialise, 2 ready, 3 job, 4 stop, 5-7)\n"
    "  speed UM_PER_S              axis speed\n"
    "  accept-delay MS             commands show \"not yet accepted\" (0x40) for MS\n"
    "  status-bits MASK            extra bits in word 0 of the transaction status (0: none)\n"
    "  instant-motion on|off       every move ends at once (throughput measurements)\n"
    "  clients                     notice targets seen (process id, token)\n"
    "  unit-time UNIT SECONDS      preset the rotation time of spindle unit 1..8\n"
    "  clear-ms MS                 how long ClearSettings keeps the machine executing\n"
    "  settings HEX                preset the 6-byte settings block (12 hex digits)\n"
    "  correction X Y Z            preset the corrections in ppm (-999999 to 1000000)\n"
    "  fail-command CODE           refuse every command CODE (a query: a failed read); 0: none\n"
    "  short-status N              status reads deliver only N bytes (8..31); 0: all 32\n"
    "  help\n";

std::vector<std::string> Split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// A whole number within [low, high]; anything else (words, overflow, out of range) is refused
// rather than wrapped into some other value.
bool ParseNumber(const std::string& text, long long low, long long high, long long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0' && value >= low && value <= high;
}

// The control commands that take a number, with its limits (those of the options that set the
// same things; codes are 16-bit words on the wire).
struct NumberRule
{
    const char* command;
    long long low;
    long long high;
};
constexpr NumberRule NumberRules[] = {
    {"estop", 0, 0xFFFF},           {"command-error", 0, 0xFFFF},
    {"delay", 0, 600000},           {"state", 0, 7},
    {"speed", 1, 100000000},        {"accept-delay", 0, 600000},
    {"status-bits", 0, 0xFFFFFFFF}, {"unit-time", 1, 8},
    {"clear-ms", 0, 600000},        {"fail-command", 0, 0xFFFF},
    {"short-status", 0, 31},
};
} // namespace

CSimulatorServer::CSimulatorServer(std::string machineName, const BlockLayout& layout,
                                   const FirmwareOptions& options)
    : m_machineName(std::move(machineName)), m_layout(layout), m_model(options, Clock::now())
{
}

CSimulatorServer::~CSimulatorServer()
{
    Stop();
}

uint16_t CSimulatorServer::Get16(size_t offset) const
{
    return LoadRaw<uint16_t>(m_block.Data() + offset);
}

void CSimulatorServer::Put16(size_t offset, uint16_t value)
{
    StoreRaw(m_block.Data() + offset, value);
}

bool CSimulatorServer::Start(bool connected)
{
    const auto alignUp = [](size_t n) { return (n + 15) / 16 * 16; };
    m_controlArea = alignUp(Header::Path + m_layout.pathRoom);
    m_bulkOutArea = alignUp(m_controlArea + Area::Data + m_layout.controlCapacity);
    m_bulkInArea = alignUp(m_bulkOutArea + Area::Data + m_layout.bulkCapacity);
    const size_t size = alignUp(m_bulkInArea + Area::Data + m_layout.bulkCapacity);
    if (m_bulkInArea > 0xFFFF)
        return false;
    // A living simulator of the same name keeps its objects: its block is still held.
    if (!m_block.Create(SharedMemoryName(m_machineName), size))
        return false;
    // Named semaphores outlive their processes: a simulator that was killed leaves its events
    // behind, possibly signalled. Start from fresh ones.
    for (int i = 0; i < 9; ++i)
        if (!m_events[i].Create(AllEvents[i])) {
            Stop();
            return false;
        }
    Put16(Header::ControlArea, static_cast<uint16_t>(m_controlArea));
    Put16(Header::BulkOutArea, static_cast<uint16_t>(m_bulkOutArea));
    Put16(Header::BulkInArea, static_cast<uint16_t>(m_bulkInArea));
    const auto writeArea = [&](size_t at, uint16_t packet, uint16_t capacity) {
        Put16(at + Area::MaxPacket, packet);
        Put16(at + Area::Capacity, capacity);
    };
    writeArea(m_controlArea, m_layout.controlPacket, m_layout.controlCapacity);
    writeArea(m_bulkOutArea, m_layout.bulkPacket, m_layout.bulkCapacity);
    writeArea(m_bulkInArea, m_layout.bulkPacket, m_layout.bulkCapacity);
    m_connected = connected;
    m_block.Data()[Header::Connected] = connected ? ConnectedBit : 0;

    m_running = true;
    for (Pipe pipe : {ControlPipe, BulkOutPipe, BulkInPipe, OutputFilePipe})
        m_threads.emplace_back([this, pipe] { Serve(pipe); });
    m_threads.emplace_back([this] { WatchDisconnect(); });
    return true;
}

void CSimulatorServer::Stop()
{
    if (!m_block.IsOpen() && m_threads.empty())
        return;
    m_running = false;
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    if (m_block.IsOpen()) {
        // Every client hears that the machine has gone, as after a pulled cable.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            SetConnected(false);
        }
        m_block.Close();
        CSharedMemory::Unlink(SharedMemoryName(m_machineName));
    }
    for (int i = 0; i < 9; ++i) {
        m_events[i].Close();
        CNamedEvent::Unlink(AllEvents[i]);
    }
}

size_t CSimulatorServer::AreaOffset(Pipe pipe) const
{
    return pipe == ControlPipe ? m_controlArea : pipe == BulkOutPipe ? m_bulkOutArea : m_bulkInArea;
}

void CSimulatorServer::Serve(Pipe pipe)
{
    CNamedEvent& request = m_events[pipe * 2];
    while (m_running) {
        if (!request.Wait(WaitSliceMs))
            continue;
        if (!m_answering)
            continue;
        const uint8_t sequence = m_block.Data()[Header::RequestSequence + pipe];
        if (const int delay = m_delayMs; delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            RememberClient();
            // Whatever a client asks, the simulator goes on serving the others: a request that
            // cannot be handled is answered as it stands.
            try {
                Handle(pipe);
            } catch (const std::exception&) {
            }
        }
        if (m_answering)
            Answer(pipe, sequence);
        std::lock_guard<std::mutex> lock(m_mutex);
        FollowPower();
    }
}

void CSimulatorServer::Handle(Pipe pipe)
{
    switch (pipe) {
    case ControlPipe:
        HandleControl();
        break;
    case BulkOutPipe:
        HandleBulkOut();
        break;
    case BulkInPipe:
        HandleBulkIn();
        break;
    case OutputFilePipe:
        HandleOutputFile();
        break;
    }
}

void CSimulatorServer::Answer(Pipe pipe, uint8_t sequence)
{
    m_block.Data()[Header::AnswerSequence + pipe] = sequence;
    m_events[pipe * 2 + 1].Set();
}

void CSimulatorServer::WatchDisconnect()
{
    CNamedEvent& disconnect = m_events[8];
    while (m_running) {
        if (!disconnect.Wait(WaitSliceMs))
            continue;
        // One client went away; the others keep their connection, so the connected bit stays.
        // Nor is the control transfer in progress touched: it may be another client's, and
        // every transfer starts afresh with its setup stage anyway.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_model.ClientDisconnected(Clock::now());
    }
}

void CSimulatorServer::RememberClient()
{
    const auto pid = LoadRaw<uint32_t>(m_block.Data() + Header::ClientProcess);
    const auto token = LoadRaw<uint32_t>(m_block.Data() + Header::ClientToken);
    if (pid != 0)
        m_clients.emplace(static_cast<int32_t>(pid), token);
}

void CSimulatorServer::NotifyClients()
{
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        // A client whose socket is gone has ended; forget it.
        if (SendNotice(it->first, it->second, DeviceNodesChanged))
            ++it;
        else
            it = m_clients.erase(it);
    }
}

void CSimulatorServer::SetConnected(bool connected)
{
    if (connected == m_connected)
        return;
    m_connected = connected;
    m_block.Data()[Header::Connected] = connected ? ConnectedBit : 0;
    NotifyClients();
}

void CSimulatorServer::FollowPower()
{
    const bool powered = m_model.IsPowered();
    if (powered == m_wasPowered)
        return;
    m_wasPowered = powered;
    SetConnected(powered);
}

void CSimulatorServer::Housekeeping()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_block.IsOpen())
        return;
    m_model.Advance(Clock::now());
    FollowPower();
    // The bulk-out area is busy while the receive buffer cannot take a whole piece.
    uint8_t& flags = m_block.Data()[Header::Flags];
    if (m_model.ReceiveRoom() < m_layout.bulkCapacity)
        flags |= BulkOutBusy;
    else
        flags &= static_cast<uint8_t>(~BulkOutBusy);
}

// --- the pipes --------------------------------------------------------------------------------

void CSimulatorServer::HandleControl()
{
    uint8_t* block = m_block.Data();
    uint8_t* area = block + m_controlArea;
    const auto now = Clock::now();
    if (block[Header::SetupActive] == 1) {
        m_control = ControlTransfer{};
        m_control.active = true;
        m_control.type = block[Header::RequestType];
        m_control.value = Get16(Header::Value);
        m_control.length = Get16(Header::Length);
        const uint8_t request = block[Header::Request];
        if (m_control.type != TypeVendorOut) {
            if (m_control.type == TypeClassIn || request == VendorCommandRequest)
                m_control.inData =
                    m_model.ControlIn(m_control.type, m_control.value, m_control.length, now);
            if (m_shortStatus != 0 && m_control.type == TypeVendorIn &&
                m_control.value == Cmd::GetMachineStatus && m_control.inData.size() > m_shortStatus)
                m_control.inData.resize(m_shortStatus);
        }
        return;
    }
    if (!m_control.active)
        return;
    const uint8_t stage = area[Area::Stage];
    uint16_t length = Get16(m_controlArea + Area::DataLength);
    if (length > m_layout.controlCapacity)
        length = m_layout.controlCapacity;
    if (m_control.type == TypeVendorOut) {
        if (stage == 1) {
            size_t skip = 0;
            if (m_control.firstStage) {
                // The first data stage repeats the request and the value before the payload.
                skip = std::min<size_t>(4, length);
                m_control.firstStage = false;
            }
            m_control.outData.insert(m_control.outData.end(), area + Area::Data + skip,
                                     area + Area::Data + length);
            ++m_control.dataStages;
            return;
        }
        m_lastControlOutStages = m_control.dataStages;
        m_model.ControlOut(m_control.value, m_control.outData.data(), m_control.outData.size(),
                           now);
        m_control = ControlTransfer{};
        return;
    }
    if (stage == 0) {
        const size_t left = m_control.inData.size() - m_control.inSent;
        const size_t piece = std::min<size_t>(left, m_layout.controlCapacity);
        if (piece > 0)
            std::memcpy(area + Area::Data, m_control.inData.data() + m_control.inSent, piece);
        Put16(m_controlArea + Area::DataLength, static_cast<uint16_t>(piece));
        m_control.inSent += piece;
        return;
    }
    m_control = ControlTransfer{};
}

void CSimulatorServer::HandleBulkOut()
{
    uint8_t* area = m_block.Data() + m_bulkOutArea;
    const uint16_t length =
        std::min(Get16(m_bulkOutArea + Area::DataLength), m_layout.bulkCapacity);
    if (area[Area::Stage] == 1 && length > 0)
        m_model.BulkOut(area + Area::Data, length, Clock::now());
    uint8_t& flags = m_block.Data()[Header::Flags];
    if (m_model.ReceiveRoom() < m_layout.bulkCapacity)
        flags |= BulkOutBusy;
}

void CSimulatorServer::HandleBulkIn()
{
    const std::vector<uint8_t> data = m_model.BulkIn(m_layout.bulkCapacity, Clock::now());
    if (!data.empty())
        std::memcpy(m_block.Data() + m_bulkInArea + Area::Data, data.data(), data.size());
    Put16(m_bulkInArea + Area::DataLength, static_cast<uint16_t>(data.size()));
}

void CSimulatorServer::HandleOutputFile()
{
    const char* start = reinterpret_cast<const char*>(m_block.Data() + Header::Path);
    // The path is read only within its room, whatever the client left there.
    const std::string path(start, strnlen(start, m_layout.pathRoom));
    m_block.Data()[Header::OutputFileResult] = 0;
    if (m_model.OutputFile(path, Clock::now()))
        m_block.Data()[Header::OutputFileResult] = 1;
}

// --- the control interface --------------------------------------------------------------------

std::string CSimulatorServer::StatusText()
{
    std::string text = m_model.StatusText(Clock::now());
    text += "connected: " + std::to_string(m_connected ? 1 : 0) + "\n";
    text += "answering: " + std::to_string(m_answering ? 1 : 0) + "\n";
    text += "delay-ms: " + std::to_string(m_delayMs.load()) + "\n";
    text += "control-out-stages: " + std::to_string(m_lastControlOutStages) + "\n";
    text += "clients: " + std::to_string(m_clients.size()) + "\n";
    return text;
}

std::string CSimulatorServer::Execute(const std::string& commandLine)
{
    const std::vector<std::string> words = Split(commandLine);
    if (words.empty())
        return "error: empty command\n";
    const std::string& command = words[0];
    const auto now = Clock::now();
    long long number = 0;
    for (const NumberRule& rule : NumberRules) {
        if (command != rule.command)
            continue;
        if (words.size() < 2 || !ParseNumber(words[1], rule.low, rule.high, number))
            return "error: " + command + " takes a number from " + std::to_string(rule.low) +
                   " to " + std::to_string(rule.high) + "\n";
    }
    std::lock_guard<std::mutex> lock(m_mutex);

    if (command == "help")
        return HelpText;
    if (command == "status")
        return StatusText();
    if (command == "log") {
        std::string text;
        for (const std::string& line : m_model.Log())
            text += line + "\n";
        return text;
    }
    if (command == "log-clear") {
        m_model.ClearLog();
        return "ok\n";
    }
    if (command == "estop") {
        m_model.EmergencyStop(static_cast<int>(number), now);
        return "ok\n";
    }
    if (command == "command-error") {
        const bool pause = words.size() >= 3 && words[2] == "paused";
        if (words.size() >= 3 && !pause)
            return "error: expected \"paused\" after the code\n";
        m_model.InjectCommandError(static_cast<int>(number), pause, now);
        return "ok\n";
    }
    if (command == "operation-error") {
        m_model.RaiseOperationError();
        return "ok\n";
    }
    if (command == "motor-load-fail" && words.size() == 2 &&
        (words[1] == "on" || words[1] == "off")) {
        m_model.SetMotorLoadFailure(words[1] == "on");
        return "ok\n";
    }
    if (command == "unplug") {
        SetConnected(false);
        return "ok\n";
    }
    if (command == "replug") {
        SetConnected(m_model.IsPowered());
        return "ok\n";
    }
    if (command == "power-off" && (words.size() == 1 || words[1] == "auto")) {
        m_model.PowerOff(words.size() == 2, now);
        FollowPower();
        return "ok\n";
    }
    if (command == "power-on") {
        m_model.PowerOn(now);
        FollowPower();
        return "ok\n";
    }
    if (command == "delay") {
        m_delayMs = static_cast<int>(number);
        return "ok\n";
    }
    if (command == "stop-answering") {
        m_answering = false;
        return "ok\n";
    }
    if (command == "resume-answering") {
        m_answering = true;
        return "ok\n";
    }
    if (command == "state") {
        m_model.ForceState(static_cast<int>(number), now);
        return "ok\n";
    }
    if (command == "speed") {
        m_model.SetAxisSpeed(static_cast<int>(number));
        return "ok\n";
    }
    if (command == "accept-delay") {
        m_model.SetAcceptDelay(static_cast<int>(number));
        return "ok\n";
    }
    if (command == "status-bits") {
        m_model.SetExtraStatusBits(static_cast<uint32_t>(number));
        return "ok\n";
    }
    if (command == "unit-time") {
        long long seconds = 0;
        if (words.size() != 3 || !ParseNumber(words[2], 0, 0xFFFFFFFF, seconds) ||
            !m_model.SetSpindleUnitSeconds(static_cast<int>(number),
                                           static_cast<uint32_t>(seconds)))
            return "error: units are 1 to 8, seconds 0 to 4294967295\n";
        return "ok\n";
    }
    if (command == "clear-ms") {
        m_model.SetClearSettingsDuration(static_cast<int>(number));
        return "ok\n";
    }
    if (command == "settings") {
        MachineSettings settings;
        auto* bytes = reinterpret_cast<uint8_t*>(&settings);
        const bool hex = words.size() == 2 && words[1].size() == 2 * sizeof settings &&
                         words[1].find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!hex)
            return "error: settings takes the block as 12 hex digits\n";
        for (size_t i = 0; i < sizeof settings; ++i)
            bytes[i] = static_cast<uint8_t>(std::stoul(words[1].substr(2 * i, 2), nullptr, 16));
        m_model.PresetSettings(settings);
        return "ok\n";
    }
    if (command == "correction") {
        AxisTriple ppm{};
        long long value = 0;
        bool valid = words.size() == 4;
        for (size_t axis = 0; valid && axis < 3; ++axis) {
            valid = ParseNumber(words[axis + 1], -999999, 1000000, value);
            ppm[axis] = static_cast<int32_t>(value);
        }
        if (!valid || !m_model.PresetCorrection(ppm))
            return "error: correction takes X Y Z in ppm from -999999 to 1000000\n";
        return "ok\n";
    }
    if (command == "fail-command") {
        m_model.SetRefusedCommand(static_cast<uint16_t>(number));
        return "ok\n";
    }
    if (command == "instant-motion" && words.size() == 2 &&
        (words[1] == "on" || words[1] == "off")) {
        m_model.SetInstantMotion(words[1] == "on");
        return "ok\n";
    }
    if (command == "short-status") {
        if (number != 0 && number < 8)
            return "error: short-status takes 0 or a number from 8 to 31\n";
        m_shortStatus = static_cast<size_t>(number);
        return "ok\n";
    }
    if (command == "clients") {
        std::string text;
        for (const auto& [pid, token] : m_clients)
            text += std::to_string(pid) + " " + std::to_string(token) + "\n";
        return text;
    }
    return "error: unknown command or bad argument: " + commandLine + " (try help)\n";
}
