#include "SimulatorServer.h"

#include "MachineCommands.h"
#include "MachineLink.h"
#include "RawBytes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

using namespace SimProtocol;

namespace {
constexpr int WaitSliceMs = 100; // how often the serving threads look at the stop flag
constexpr uint16_t VendorCommandRequest = 1;

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

// The range of a command without a number: low above high.
constexpr long long NoNumber = 1;

std::string Ok()
{
    return "ok\n";
}

std::string BadArgument(const std::string& line)
{
    return "error: unknown command or bad argument: " + line + " (try help)\n";
}

// "on" or "off" as the only argument.
bool OnOff(const std::vector<std::string>& words, bool& on)
{
    on = words.size() == 2 && words[1] == "on";
    return words.size() == 2 && (on || words[1] == "off");
}

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

// The control commands: each row is a command's name, its arguments and help as the help text
// shows them, the range of its first argument when that is a number, and what it does. The
// dispatch, the range checks and both help texts ("help" and the program's --help) are this
// table.
std::span<const CSimulatorServer::ControlCommand> CSimulatorServer::ControlCommands()
{
    using S = CSimulatorServer;
    using C = const ControlCall&;
    constexpr long long Code = 0xFFFF; // codes are 16-bit words on the wire
    constexpr long long Ms = 600000;   // the limit of the options that set times
    static const ControlCommand commands[] = {
        {"status", "",
         "first line \"state: N\", then position (um), spindle, override,\n"
         "mode, the state and event words, connected and more, one\n"
         "\"name: value\" per line",
         NoNumber, 0, [](S& s, C) { return s.StatusText(); }},
        {"log", "",
         "commands received, one per line: \"0xCODE payload-hex\";\n"
         "also \"bulk-out HEX\", \"output-file PATH\" and \"disconnect\"",
         NoNumber, 0,
         [](S& s, C) {
             std::string text;
             for (const std::string& line : s.m_model.Log())
                 text += line + "\n";
             return text;
         }},
        {"log-clear", "", "forget the commands received", NoNumber, 0,
         [](S& s, C) {
             s.m_model.ClearLog();
             return Ok();
         }},
        {"estop", "CODE", "emergency stop with a fatal-error code", 0, Code,
         [](S& s, C call) {
             s.m_model.EmergencyStop(int(call.number), call.now);
             return Ok();
         }},
        {"command-error", "CODE [paused]", "a command error waiting to be reported", 0, Code,
         [](S& s, C call) {
             const bool pause = call.words.size() >= 3 && call.words[2] == "paused";
             if (call.words.size() >= 3 && !pause)
                 return std::string("error: expected \"paused\" after the code\n");
             s.m_model.InjectCommandError(int(call.number), pause, call.now);
             return Ok();
         }},
        {"operation-error", "", "set event bit 0x10 (error during an operation)", NoNumber, 0,
         [](S& s, C) {
             s.m_model.RaiseOperationError();
             return Ok();
         }},
        {"motor-load-fail", "on|off", "make motor-load tests fail through event bit 0x10", NoNumber,
         0,
         [](S& s, C call) {
             bool on = false;
             if (!OnOff(call.words, on))
                 return BadArgument(call.line);
             s.m_model.SetMotorLoadFailure(on);
             return Ok();
         }},
        {"unplug", "", "cable pulled (a notice to every client)", NoNumber, 0,
         [](S& s, C) {
             s.SetConnected(false);
             return Ok();
         }},
        {"replug", "", "cable connected again (a notice to every client)", NoNumber, 0,
         [](S& s, C) {
             s.SetConnected(s.m_model.IsPowered());
             return Ok();
         }},
        {"power-off", "[auto]",
         "power switch off; \"auto\": as the auto power-off does\n"
         "(the flag counts it)",
         NoNumber, 0,
         [](S& s, C call) {
             if (call.words.size() > 1 && call.words[1] != "auto")
                 return BadArgument(call.line);
             s.m_model.PowerOff(call.words.size() == 2, call.now);
             s.FollowPower();
             return Ok();
         }},
        {"power-on", "", "power switch on (the machine initialises again)", NoNumber, 0,
         [](S& s, C call) {
             s.m_model.PowerOn(call.now);
             s.FollowPower();
             return Ok();
         }},
        {"delay", "MS", "delay every answer by MS milliseconds (0: none)", 0, Ms,
         [](S& s, C call) {
             s.m_delayMs = int(call.number);
             return Ok();
         }},
        {"stop-answering", "", "leave every request unanswered", NoNumber, 0,
         [](S& s, C) {
             s.m_answering = false;
             return Ok();
         }},
        {"resume-answering", "", "answer requests again", NoNumber, 0,
         [](S& s, C) {
             s.m_answering = true;
             return Ok();
         }},
        {"state", "N",
         "force state N (0-1 initialise, 2 ready, 3 job that runs\n"
         "until quit, 4 emergency stop, 5-7)",
         0, 7,
         [](S& s, C call) {
             s.m_model.ForceState(int(call.number), call.now);
             return Ok();
         }},
        {"speed", "UM_PER_S", "axis speed in micrometres per second", 1, 100000000,
         [](S& s, C call) {
             s.m_model.SetAxisSpeed(int(call.number));
             return Ok();
         }},
        {"accept-delay", "MS", "commands show \"not yet accepted\" (0x40) for MS", 0, Ms,
         [](S& s, C call) {
             s.m_model.SetAcceptDelay(int(call.number));
             return Ok();
         }},
        {"status-bits", "MASK",
         "extra bits in word 0 of the transaction status, e.g.\n"
         "0x1000 (closes the test cut); 0 for none",
         0, 0xFFFFFFFF,
         [](S& s, C call) {
             s.m_model.SetExtraStatusBits(uint32_t(call.number));
             return Ok();
         }},
        {"instant-motion", "on|off", "every move ends at once (throughput measurements)", NoNumber,
         0,
         [](S& s, C call) {
             bool on = false;
             if (!OnOff(call.words, on))
                 return BadArgument(call.line);
             s.m_model.SetInstantMotion(on);
             return Ok();
         }},
        {"unit-time", "UNIT SECONDS",
         "preset the rotation time of a spindle unit\n"
         "SECONDS: 0 to 4294967295",
         1, 8,
         [](S& s, C call) {
             long long seconds = 0;
             if (call.words.size() != 3 || !ParseNumber(call.words[2], 0, 0xFFFFFFFF, seconds) ||
                 !s.m_model.SetSpindleUnitSeconds(int(call.number), uint32_t(seconds)))
                 return std::string("error: units are 1 to 8, seconds 0 to 4294967295\n");
             return Ok();
         }},
        {"clear-ms", "MS", "how long ClearSettings keeps the machine executing", 0, Ms,
         [](S& s, C call) {
             s.m_model.SetClearSettingsDuration(int(call.number));
             return Ok();
         }},
        {"settings", "HEX", "preset the 6-byte settings block (12 hex digits, any bytes)", NoNumber,
         0,
         [](S& s, C call) {
             MachineSettings settings;
             auto* bytes = reinterpret_cast<uint8_t*>(&settings);
             const std::vector<std::string>& words = call.words;
             const bool hex =
                 words.size() == 2 && words[1].size() == 2 * sizeof settings &&
                 words[1].find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
             if (!hex)
                 return std::string("error: settings takes the block as 12 hex digits\n");
             for (size_t i = 0; i < sizeof settings; ++i)
                 bytes[i] = uint8_t(std::stoul(words[1].substr(2 * i, 2), nullptr, 16));
             s.m_model.PresetSettings(settings);
             return Ok();
         }},
        {"correction", "X Y Z",
         "preset the corrections in ppm over the nominal 1000000\n"
         "(each -999999 to 1000000)",
         NoNumber, 0,
         [](S& s, C call) {
             AxisTriple ppm{};
             long long value = 0;
             bool valid = call.words.size() == 4;
             for (size_t axis = 0; valid && axis < 3; ++axis) {
                 valid = ParseNumber(call.words[axis + 1], -999999, 1000000, value);
                 ppm[axis] = int32_t(value);
             }
             if (!valid || !s.m_model.PresetCorrection(ppm))
                 return std::string(
                     "error: correction takes X Y Z in ppm from -999999 to 1000000\n");
             return Ok();
         }},
        {"fail-command", "CODE",
         "refuse every command CODE, e.g. 0x05F0: error bit, no\n"
         "reply, no effect (a query: a failed read); 0 for none",
         0, Code,
         [](S& s, C call) {
             s.m_model.SetRefusedCommand(uint16_t(call.number));
             return Ok();
         }},
        {"short-status", "N",
         "status reads deliver only their first N bytes (8 to 31),\n"
         "as a machine that answers short; 0: all 32",
         0, 31,
         [](S& s, C call) {
             if (call.number != 0 && call.number < 8)
                 return std::string("error: short-status takes 0 or a number from 8 to 31\n");
             s.m_shortStatus = size_t(call.number);
             return Ok();
         }},
        {"clients", "", "the clients' notice targets seen so far (process id, token)", NoNumber, 0,
         [](S& s, C) {
             std::string text;
             for (const auto& [pid, token] : s.m_clients)
                 text += std::to_string(pid) + " " + std::to_string(token) + "\n";
             return text;
         }},
        {"help", "", "this list", NoNumber, 0, [](S&, C) { return ControlHelp(); }},
    };
    return commands;
}

std::string CSimulatorServer::ControlHelp()
{
    constexpr size_t Column = 30; // where the explanations start
    std::string text = "commands:\n";
    for (const ControlCommand& command : ControlCommands()) {
        std::string line = std::string("  ") + command.name;
        if (*command.arguments)
            line += std::string(" ") + command.arguments;
        line.resize(std::max(Column - 1, line.size()), ' ');
        line += ' ';
        for (const char* c = command.help; *c; ++c) {
            line += *c;
            if (*c == '\n')
                line += std::string(Column, ' ');
        }
        if (command.low <= command.high) {
            const std::string_view arguments = command.arguments;
            line += "\n" + std::string(Column, ' ') +
                    std::string(arguments.substr(0, arguments.find(' '))) + ": " +
                    std::to_string(command.low) + " to " + std::to_string(command.high);
        }
        text += line + "\n";
    }
    return text;
}

std::string CSimulatorServer::Execute(const std::string& commandLine)
{
    ControlCall call{Split(commandLine), 0, Clock::now(), commandLine};
    if (call.words.empty())
        return "error: empty command\n";
    const std::string& name = call.words[0];
    for (const ControlCommand& command : ControlCommands()) {
        if (name != command.name)
            continue;
        if (command.low <= command.high &&
            (call.words.size() < 2 ||
             !ParseNumber(call.words[1], command.low, command.high, call.number)))
            return "error: " + name + " takes a number from " + std::to_string(command.low) +
                   " to " + std::to_string(command.high) + "\n";
        std::lock_guard<std::mutex> lock(m_mutex);
        return command.run(*this, call);
    }
    return BadArgument(call.line);
}
