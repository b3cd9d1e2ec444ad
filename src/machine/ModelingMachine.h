#pragma once

#include "MachineCommands.h"
#include "MachineLink.h"
#include "MachineStatus.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The machine's command layer: turns numbered commands into transactions on the current link,
// each inside one device lock, waits for acceptance, completion or a reply, and converts
// multi-byte values to the machine's byte order. Nothing here throws or shows anything;
// failures come back as false, 0 or -1.
class CModelingMachine
{
public:
    static constexpr const char* ModelName = "Quenby ZR-40";
    static constexpr int LockTimeoutMs = 10000;
    static constexpr int WaitLimitMs = 3000;
    static constexpr int FirmwareReplyMax = 256;
    static constexpr int ReportChunk = 2048;

    CModelingMachine();
    // For tests: drive a given pair of links instead of the built-in ones.
    CModelingMachine(std::unique_ptr<CMachineLink> usbLink,
                     std::unique_ptr<CMachineLink> simulatorLink);
    ~CModelingMachine();
    CModelingMachine(const CModelingMachine&) = delete;
    CModelingMachine& operator=(const CModelingMachine&) = delete;

    // --- links and connection ---------------------------------------------------------
    CMachineLink& GetLink() { return *m_link; }
    CMachineLink& GetUsbLink() { return *m_usbLink; }
    CMachineLink& GetSimulatorLink() { return *m_simulatorLink; }
    bool IsSimulatorCurrent() const;
    const std::string& GetModelName() const { return m_modelName; }
    bool IsSwapped() const { return m_swap; }

    // Printers installed with the model's driver; the count, or -1.
    int EnumerateMachines();
    bool SelectMachine(const std::string& name);
    // Makes the simulator current; target receives its device-change notices (may be empty).
    bool UseSimulator(DeviceChangeTarget target);
    void CloseMachine();

    // --- framing --------------------------------------------------------------------------
    bool SendCommand(uint16_t code, const void* payload, int length);
    bool SendCommand16(uint16_t code, const int16_t* values, int count);
    bool SendCommand32(uint16_t code, const int32_t* values, int count);
    // Waits until the command that was just accepted has finished executing.
    bool WaitForCompletion();
    // Byte count of the reply read, 0 or -1 on failure.
    int Query(uint16_t code, void* buffer, int length);
    bool QueryExact(uint16_t code, void* buffer, int length);
    bool Query16(uint16_t code, int16_t* values, int count);
    bool Query32(uint16_t code, int32_t* values, int count);
    CommandStatus GetCommandStatus();
    // Reads the raw status record, converting its multi-byte fields; the byte count or -1.
    int GetStatusRecord(void* buffer, int length);
    // The status record decoded; the byte count read (fewer than 8: no status).
    int ReadMachineStatus(MachineStatus& status);
    // Raw bytes onto the bulk-out pipe, without lock or conversion.
    bool WriteRawData(const void* data, int length);
    // Hands a cutting-data file to the link as one job; on an open failure returns false with
    // the errno in *openError so that the caller can tell the user. The file is opened as
    // every user's file is (OpenUserFile: a folder fails with EISDIR, a pipe or a device with
    // EACCES); a file another program holds locked fails with EBUSY. progress hears of every
    // piece the link hands over.
    bool SendFile(const std::string& path, const std::string& jobName, int* openError = nullptr,
                  const CMachineLink::OutputProgress& progress = {});
    // Two 32-bit words; the first counts the data bytes the machine has taken in.
    bool GetReceiveCounter(uint32_t counter[2]);
    bool ClearErrorFlag();

    // --- the command table ----------------------------------------------------------------
    std::optional<std::string> GetFirmwareVersion();
    bool GetPosition(AxisTriple& position);
    bool GetMoveRange(AxisTriple& low, AxisTriple& high);
    bool SetCuttingSpeed(int percent);
    bool GetUserOrigin(AxisTriple& origin);
    bool SetUserOrigin(const AxisTriple& origin);
    int32_t GetAutoPowerOffTime();
    bool SetAutoPowerOffTime(int32_t seconds);
    bool PauseCutting();
    bool ResumeCutting();
    bool QuitCutting();
    bool StopOperation();
    bool SetOperationMode(uint8_t mode);
    bool MoveTo(int16_t parameter, const AxisTriple& target);
    bool JogTo(int16_t parameter, const AxisTriple& target);
    bool MoveToViewPosition(int16_t parameter);
    bool GetDistanceCorrection(AxisTriple& correctionPpm);
    bool SetDistanceCorrection(const AxisTriple& correctionPpm);
    int GetAutoPowerOffFlag();
    bool SetCuttingSpeedMode(uint8_t automatic);
    int GetCuttingSpeedMode();
    // The settings report; each piece read (also empty ones) goes to sink.
    bool GetSystemReport(const std::function<void(const char* data, int length)>& sink);
    bool GetFatalError(int16_t words[5]);
    bool GetCommandError(int16_t& code);
    bool ClearCommandError();
    bool ClearSettings();
    bool GetSpindleTime(SpindleTimeRecord& record);
    bool ResetSpindleTime();
    bool TestMotorLoadX(int16_t first, int16_t second, int32_t travel);
    bool TestMotorLoadY(int16_t first, int16_t second, int32_t travel);
    bool TestMotorLoadZ(int16_t first, int16_t second, int32_t travel);
    bool StartIdling(uint8_t parameter);
    bool PowerOff(int32_t parameter);
    bool ResetSpindleUnitTime();
    bool GetSpindleUnitTime(SpindleTimeRecord& record);
    bool SelectSpindleUnit(uint8_t unit, uint8_t keep);
    int GetSpindleUnit();
    bool GetSpindleRotation(int32_t words[2]);
    bool SetSpindleRotation(int32_t value);
    bool GetMachineSettings(MachineSettings& settings);
    bool SetMachineSettings(const MachineSettings& settings);
    bool GetExofsOrigin(AxisTriple& origin);
    bool GetWorkOrigin(int n, AxisTriple& origin);
    bool GetExtraWorkOrigin(int p, AxisTriple& origin);
    bool SetExofsOrigin(const AxisTriple& origin);
    bool SetWorkOrigin(int n, const AxisTriple& origin);
    bool SetExtraWorkOrigin(int p, const AxisTriple& origin);
    bool SetTestCutOption(int enabled);
    bool GetToolOffset(int i, int32_t& offset);
    bool SetToolOffset(int i, int32_t offset);
    bool MoveToOrigin(int coordSystem, int16_t axisMask, int16_t parameter);

    // --- byte order -------------------------------------------------------------------------
    uint16_t Convert16(uint16_t value) const;
    uint32_t Convert32(uint32_t value) const;
    size_t GetPayloadCapacity() const { return m_payloadCapacity; }

    // Nearest integer of a * b / c with halves away from zero, products in 64 bits; -1 when c
    // is 0 or the result does not fit in 32 bits.
    static int32_t MulDiv(int32_t a, int32_t b, int32_t c);

private:
    void SwitchLink(CMachineLink* link);
    bool ProbeByteOrder();
    CommandStatus ReadCommandStatus();
    // Acceptance (NotAccepted) and completion (Executing) are the same wait on another bit.
    bool WaitUntilClear(uint32_t busyBit);
    int WaitForReply();
    bool ReadReplyExact(void* buffer, int length, int replyLength);
    uint8_t* ReservePayload(size_t length);
    bool SendCommandAndComplete(uint16_t code, const void* payload, int length);
    bool SendTriple(uint16_t code, const AxisTriple& values, bool complete);
    bool QueryTriple(uint16_t code, AxisTriple& values);
    bool SendMove(uint16_t code, int16_t parameter, const AxisTriple& target);
    bool SendMotorLoadTest(uint16_t code, int16_t first, int16_t second, int32_t travel);
    bool QuerySpindleRecord(uint16_t code, SpindleTimeRecord& record);

    std::string m_modelName = ModelName;
    std::unique_ptr<CMachineLink> m_usbLink;
    std::unique_ptr<CMachineLink> m_simulatorLink;
    CMachineLink* m_link;
    bool m_swap = false;
    std::unique_ptr<uint8_t[]> m_payload;
    size_t m_payloadCapacity = 0;
};
