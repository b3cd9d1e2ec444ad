#pragma once

#include "MachineStatus.h"
#include "NcInterpreter.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// What the simulated machine is like; fixed when it starts.
struct FirmwareOptions
{
    bool bigEndian = false;       // the machine's byte order
    int initMs = 1500;            // states 0 and 1 after power-on
    int axisSpeed = 20000;        // micrometres per second, each move along its straight line
    int quitSkipMs = 1000;        // data skipping after QuitCutting
    int acceptMs = 0;             // how long a command shows "not yet accepted" (0x40)
    int completionMs = 50;        // execution time of commands the panel waits to complete
    int clearSettingsMs = 500;    // execution time of ClearSettings
    int rawBytesPerSecond = 4000; // how fast data that is not NC code is consumed
    int spindleRpm = 8000;
    bool instantMotion = false; // every move ends where it starts (for throughput measurements)
    std::string firmwareText = "V120 ZR-40 simulated firmware";
    AxisTriple low{0, 0, -60000};
    AxisTriple high{203000, 152000, 0};
};

// The machine's side of every command: states, motion at a finite speed, origins, settings,
// spindle and spindle units, override, pause / resume / quit, the receive counter and
// line-by-line NC execution, output-file jobs, the settings report, power-off, and the faults
// that the control interface injects. It knows nothing about how the bytes travel; the caller
// passes the present time to every call and serialises the calls.
class CFirmwareModel
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // Capacity of the receive buffer for data on the bulk-out pipe.
    static constexpr size_t ReceiveBufferSize = 8192;

    CFirmwareModel(const FirmwareOptions& options, TimePoint now);

    // --- transfers -----------------------------------------------------------------------
    // A vendor control-OUT: a machine command or a reserved code.
    void ControlOut(uint16_t code, const uint8_t* payload, size_t length, TimePoint now);
    // A control-IN of the given request type; the reply, at most length bytes.
    std::vector<uint8_t> ControlIn(uint8_t requestType, uint16_t code, size_t length,
                                   TimePoint now);
    // Data on the bulk-out pipe; the count taken (less when the receive buffer is full).
    size_t BulkOut(const uint8_t* data, size_t length, TimePoint now);
    size_t ReceiveRoom() const
    {
        return ReceiveBufferSize - std::min(ReceiveBufferSize, m_received.size());
    }
    // Data for the bulk-in pipe, at most max bytes.
    std::vector<uint8_t> BulkIn(size_t max, TimePoint now);
    // A whole file handed over as one job; false when it is not a readable regular file (of at
    // most 64 MiB).
    bool OutputFile(const std::string& path, TimePoint now);
    // One client closed its connection; the machine keeps running for the others.
    void ClientDisconnected(TimePoint now);

    // Runs the machine up to now.
    void Advance(TimePoint now);

    // --- faults and inspection ---------------------------------------------------------
    void EmergencyStop(int code, TimePoint now);
    void InjectCommandError(int code, bool pause, TimePoint now);
    void RaiseOperationError() { m_eventWord |= EventBit::OperationError; }
    void SetMotorLoadFailure(bool fail) { m_motorLoadFails = fail; }
    // Forces a state: 0 and 1 start the initialisation again, 2 clears every fault and job,
    // 3 starts a job that runs until it is quit, 4 is an emergency stop, 5 to 7 stick.
    bool ForceState(int state, TimePoint now);
    void PowerOff(bool automatic, TimePoint now);
    void PowerOn(TimePoint now);
    bool IsPowered() const { return m_powered; }
    void SetAxisSpeed(int micrometresPerSecond);
    void SetAcceptDelay(int ms) { m_options.acceptMs = std::max(0, ms); }
    void SetInstantMotion(bool instant) { m_options.instantMotion = instant; }
    // Extra bits OR-ed into word 0 of the transaction status (0x1000 closes the test cut).
    void SetExtraStatusBits(uint32_t bits) { m_extraStatusBits = bits; }
    // Presets the total rotation time of spindle unit 1..8 (seconds, the full unsigned range);
    // false for another unit.
    bool SetSpindleUnitSeconds(int unit, uint32_t seconds);
    // How long ClearSettings keeps the machine executing.
    void SetClearSettingsDuration(int ms) { m_options.clearSettingsMs = std::max(0, ms); }
    // Presets the settings block as it is, whatever its bytes mean.
    void PresetSettings(const MachineSettings& settings) { m_settings = settings; }
    // Presets the corrections in parts per million over the nominal 1,000,000; false for one
    // that would make a measured value of 0 or less.
    bool PresetCorrection(const AxisTriple& ppm);
    // The machine refuses every command of this code (error bit, no reply, no effect), so a
    // query of it is a failed read; 0 refuses none.
    void SetRefusedCommand(uint16_t code) { m_refusedCode = code; }

    uint32_t StateWord(TimePoint now);
    uint32_t EventWord() const { return m_eventWord; }
    AxisTriple Position(TimePoint now);
    int State(TimePoint now) { return static_cast<int>(StateWord(now) & StateBit::StateMask); }
    // The inspection text: first line "state: N", then one "name: value" line each.
    std::string StatusText(TimePoint now);
    // The commands received, one line each: "0xCODE payload-hex"; also "bulk-out hex",
    // "output-file PATH" and "disconnect".
    const std::vector<std::string>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    uint32_t ReceiveCounter() const { return m_receiveCounter; }
    uint8_t OperationMode() const { return m_operationMode; }

private:
    struct Job
    {
        bool nc = true;
        std::string data;
        size_t consumed = 0;
        bool endless = false;
    };
    struct Motion
    {
        AxisTriple from{};
        AxisTriple to{};
        TimePoint start{};
        TimePoint end{};
        bool fromJob = false;
        bool motorLoadTest = false;
        int speed = 1; // micrometres per second, kept for a resume after a pause
        // An arc in the XY plane around (cx, cy): angle and radius run from their start values
        // to their end values, Z runs along.
        bool arc = false;
        bool clockwise = false;
        double cx = 0, cy = 0, startAngle = 0, sweep = 0, startRadius = 0, endRadius = 0;
    };

    // byte order of the machine
    uint16_t Load16(const uint8_t* bytes) const;
    uint32_t Load32(const uint8_t* bytes) const;
    void Append16(std::vector<uint8_t>& out, uint16_t value) const;
    void Append32(std::vector<uint8_t>& out, uint32_t value) const;
    void AppendTriple(std::vector<uint8_t>& out, const AxisTriple& values) const;
    bool PayloadTriple(const uint8_t* payload, size_t length, AxisTriple& values) const;

    void Record(uint16_t code, const uint8_t* payload, size_t length);
    void Reply(std::vector<uint8_t> bytes);
    void Refuse() { m_commandFailed = true; }
    void Complete(TimePoint now, int ms);
    bool CanOperate(TimePoint now);
    bool HandleOriginCommand(uint16_t code, const uint8_t* payload, size_t length, TimePoint now);
    AxisTriple* OriginOf(int number);
    void HandleCommand(uint16_t code, const uint8_t* payload, size_t length, TimePoint now);

    bool IsMoving() const { return m_motion.has_value(); }
    AxisTriple Clamp(AxisTriple target) const;
    void StartMotion(const AxisTriple& target, TimePoint now, bool fromJob, int speed);
    void StartArc(const AxisTriple& target, double cx, double cy, bool clockwise, TimePoint now,
                  int speed);
    void Pause(TimePoint now);
    void StopMotion(TimePoint now);
    AxisTriple PositionAt(TimePoint now) const;
    void FinishMotion();
    bool JobActive() const;
    bool ExecutingLine() const;
    // Consumes data that is not NC code at the raw rate.
    void RunJobs(TimePoint at, TimePoint now);
    bool TakeLine(TimePoint at, TimePoint now);
    // The next whole line of the receive buffer, counted as taken in; none when no line is
    // complete yet.
    std::optional<std::string> ReceiveLine(TimePoint& at, TimePoint now);
    // With the test-cut option on, the next line is taken in while the current one still runs.
    void TakeLookahead(TimePoint now);
    // Runs the NC line that begins at begin (it ends at end or at its line break); returns
    // where its content stopped, as the program reader's line does.
    const char* ExecuteLine(const char* begin, const char* end, TimePoint at);
    // Reads one line against the machine's program state, from where the tool stands.
    CNcLineResult ReadProgramLine(const char* begin, const char* end);
    // The origin of a program's coordinate system (the reader's numbers; -1: the user system).
    const AxisTriple& ProgramOrigin(int system) const;
    void AccumulateSpindle(TimePoint now);
    void QuitJobs(TimePoint now);
    void ResetSettings();
    std::string SystemReport() const;

    FirmwareOptions m_options;
    bool m_powered = true;
    TimePoint m_powerOnAt;
    TimePoint m_lastAdvance;
    TimePoint m_lastActivity;
    std::optional<int> m_forcedState;
    int m_fatalCode = 0;
    bool m_emergencyStop = false;
    int m_commandErrorCode = 0;
    bool m_commandErrorPending = false;
    bool m_paused = false;
    std::optional<TimePoint> m_skipUntil;
    bool m_motorLoadFails = false;
    uint32_t m_eventWord = 0;

    // transaction status
    bool m_commandFailed = false;
    TimePoint m_acceptedAt{}; // the last command counts as accepted from then on
    uint32_t m_extraStatusBits = 0;
    uint16_t m_refusedCode = 0;
    std::optional<TimePoint> m_executingUntil;
    std::vector<uint8_t> m_reply;

    // motion
    AxisTriple m_position{0, 0, 0};
    std::optional<Motion> m_motion;
    std::optional<AxisTriple> m_pausedTarget;
    bool m_pausedTargetFromJob = false;
    int m_pausedSpeed = 1;
    std::optional<Motion> m_pausedArc; // the interrupted arc, resumed around its centre
    int m_speed;

    // spindle
    bool m_spindleOn = false;
    bool m_idling = false;
    double m_unitSeconds[9] = {};
    double m_totalSeconds = 0;
    int m_selectedUnit = 1;
    int m_fittedUnit = 1;

    // settings
    uint8_t m_override = 100;
    uint8_t m_speedMode = 1;
    uint8_t m_operationMode = 255;
    bool m_testCutOption = false;
    bool m_testCutJob = false; // a line arrived while in test-cut mode: a job is active
    MachineSettings m_settings;
    uint8_t m_autoPowerOffTime[4] = {};
    bool m_autoPowerOffLast = false;
    // Counts the auto power-offs in a row (1..255, then 1 again); a manual power-off clears it,
    // so every new auto power-off reads differently from the one before.
    uint8_t m_autoPowerOffFlag = 0;
    AxisTriple m_userOrigin{};
    AxisTriple m_exofsOrigin{};
    AxisTriple m_workOrigins[6]{};
    std::vector<AxisTriple> m_extraOrigins;
    int32_t m_toolOffsets[8] = {};
    int32_t m_correction[6] = {1000000, 1000000, 1000000, 1000000, 1000000, 1000000};

    // data
    std::string m_received;
    TimePoint m_lastReceived;
    uint32_t m_receiveCounter = 0;
    std::deque<Job> m_jobs;
    bool m_lineExecuting = false;
    std::optional<std::string> m_lookahead; // taken in, waiting for the current line to end
    // The modal state of the NC lines run so far (motion G0 until a line says otherwise; the
    // position is taken from the axes before each line).
    CNcModalState m_program{.motion = 0};
    double m_rawCredit = 0;
    std::string m_report;
    size_t m_reportSent = 0;

    std::vector<std::string> m_log;
};
