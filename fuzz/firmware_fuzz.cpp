// The simulated machine driven by commands, data and faults chosen by the fuzzer: random
// command codes and payloads, NC text on the bulk-out pipe (so every line goes through the NC
// line interpreter and into motion, arcs included), replies and data read back, time moving on
// by random steps. Nothing may fault, overflow or read outside its buffers.
#include "FirmwareModel.h"
#include "MachineCommands.h"
#include "NcInterpreter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using TimePoint = CFirmwareModel::TimePoint;

constexpr uint16_t Codes[] = {
    Cmd::GetCommandStatus,
    Cmd::GetByteOrder,
    Cmd::ReadReply,
    Cmd::ClearErrorFlag,
    Cmd::GetMachineStatus,
    Cmd::GetReceiveCounter,
    Cmd::GetFirmwareVersion,
    Cmd::GetPosition,
    Cmd::GetMoveRange,
    Cmd::SetCuttingSpeed,
    Cmd::GetUserOrigin,
    Cmd::SetUserOrigin,
    Cmd::GetAutoPowerOffTime,
    Cmd::SetAutoPowerOffTime,
    Cmd::PauseCutting,
    Cmd::ResumeCutting,
    Cmd::QuitCutting,
    Cmd::StopOperation,
    Cmd::SetOperationMode,
    Cmd::MoveTo,
    Cmd::JogTo,
    Cmd::MoveToViewPosition,
    Cmd::GetDistanceCorrection,
    Cmd::SetDistanceCorrection,
    Cmd::GetAutoPowerOffFlag,
    Cmd::SetCuttingSpeedMode,
    Cmd::GetCuttingSpeedMode,
    Cmd::GetSystemReport,
    Cmd::GetFatalError,
    Cmd::GetCommandError,
    Cmd::ClearCommandError,
    Cmd::ClearSettings,
    Cmd::GetSpindleTime,
    Cmd::ResetSpindleTime,
    Cmd::TestMotorLoadX,
    Cmd::StartIdling,
    Cmd::PowerOff,
    Cmd::ResetSpindleUnitTime,
    Cmd::GetSpindleUnitTime,
    Cmd::SelectSpindleUnit,
    Cmd::GetSpindleUnit,
    Cmd::GetSpindleRotation,
    Cmd::SetSpindleRotation,
    Cmd::GetMachineSettings,
    Cmd::SetMachineSettings,
    Cmd::GetExofsOrigin,
    Cmd::GetWorkOriginBase,
    Cmd::GetExtraWorkOriginBase + 299,
    Cmd::SetExofsOrigin,
    Cmd::SetWorkOriginBase + 5,
    Cmd::SetExtraWorkOriginBase + 299,
    Cmd::SetTestCutOption,
    Cmd::GetToolOffsetBase + 7,
    Cmd::SetToolOffsetBase + 7,
    Cmd::MoveToOrigin,
};

class CReader
{
public:
    CReader(const uint8_t* data, size_t size) : m_data(data), m_left(size) {}
    bool Empty() const { return m_left == 0; }
    uint8_t Byte()
    {
        if (m_left == 0)
            return 0;
        --m_left;
        return *m_data++;
    }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    // Up to max bytes, fewer when the input ends.
    std::basic_string_view<uint8_t> Bytes(size_t max)
    {
        const size_t count = std::min(max, m_left);
        const std::basic_string_view<uint8_t> bytes(m_data, count);
        m_data += count;
        m_left -= count;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_left;
};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The line interpreter on its own, as the machine reads a line (numbers as written).
    const char* text = reinterpret_cast<const char*>(data);
    CNcInterpreter interpreter({.blockSkip = false, .decimalMode = NcDecimalMode::CalculatorAll});
    (void)interpreter.ReadLine(text, text + size, 0);

    CReader in(data, size);
    FirmwareOptions options;
    options.initMs = 0;
    options.bigEndian = (in.Byte() & 1) != 0;
    TimePoint now = TimePoint{} + std::chrono::hours(1);
    CFirmwareModel machine(options, now);
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        const uint8_t op = in.Byte();
        switch (op % 8) {
        case 0:
        case 1: {
            const uint16_t code = op & 0x80 ? in.Word() : Codes[in.Byte() % std::size(Codes)];
            const auto payload = in.Bytes(in.Byte() % 40);
            machine.ControlOut(code, payload.data(), payload.size(), now);
            break;
        }
        case 2:
        case 3: {
            const auto bytes = in.Bytes(in.Byte());
            Check(machine.BulkOut(bytes.data(), bytes.size(), now) <= bytes.size());
            break;
        }
        case 4: {
            const size_t max = in.Word();
            Check(machine.BulkIn(max, now).size() <= max);
            const uint16_t code = Codes[in.Byte() % std::size(Codes)];
            const size_t length = in.Byte();
            Check(machine.ControlIn(op & 0x80 ? 0xA1 : 0xC1, code, length, now).size() <= length);
            break;
        }
        case 5:
            now += std::chrono::milliseconds(in.Word());
            machine.Advance(now);
            break;
        case 6: {
            const uint8_t arg = in.Byte();
            switch (arg % 8) {
            case 0:
                machine.EmergencyStop(arg, now);
                break;
            case 1:
                machine.InjectCommandError(arg, (arg & 0x10) != 0, now);
                break;
            case 2:
                machine.ForceState(arg >> 3, now);
                break;
            case 3:
                machine.PowerOff((arg & 0x10) != 0, now);
                break;
            case 4:
                machine.PowerOn(now);
                break;
            case 5:
                machine.SetAxisSpeed(static_cast<int16_t>(in.Word()) * 100);
                break;
            case 6:
                machine.SetInstantMotion((arg & 0x10) != 0);
                break;
            case 7:
                machine.ClientDisconnected(now);
                break;
            }
            break;
        }
        case 7:
            (void)machine.StatusText(now);
            (void)machine.Position(now);
            break;
        }
    }
    return 0;
}
