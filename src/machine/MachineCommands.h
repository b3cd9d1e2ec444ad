#pragma once

#include <cstdint>

// Control codes of the machine's vendor transfers (request 1, value = code). Shared by the
// command layer and the simulator's firmware model.
namespace Cmd {
// Reserved transaction codes.
constexpr uint16_t GetCommandStatus = 0x0001;
constexpr uint16_t GetByteOrder = 0x0002;
constexpr uint16_t ReadReply = 0x0003;
constexpr uint16_t ClearErrorFlag = 0x0004;
constexpr uint16_t GetMachineStatus = 0x0100;
constexpr uint16_t GetReceiveCounter = 0x0200;

// Machine commands.
constexpr uint16_t GetFirmwareVersion = 0x0101;
constexpr uint16_t GetPosition = 0x0301;
constexpr uint16_t GetMoveRange = 0x0302;
constexpr uint16_t SetCuttingSpeed = 0x0307;
constexpr uint16_t GetUserOrigin = 0x030B;
constexpr uint16_t SetUserOrigin = 0x030C;
constexpr uint16_t GetAutoPowerOffTime = 0x0311;
constexpr uint16_t SetAutoPowerOffTime = 0x0312;
constexpr uint16_t PauseCutting = 0x03F0;
constexpr uint16_t ResumeCutting = 0x03F1;
constexpr uint16_t QuitCutting = 0x03F2;
constexpr uint16_t StopOperation = 0x03F3;
constexpr uint16_t SetOperationMode = 0x03F5;
constexpr uint16_t MoveTo = 0x04F3;
constexpr uint16_t JogTo = 0x04F5;
constexpr uint16_t MoveToViewPosition = 0x0500;
constexpr uint16_t GetDistanceCorrection = 0x05F0;
constexpr uint16_t SetDistanceCorrection = 0x05F1;
constexpr uint16_t GetAutoPowerOffFlag = 0x0FFD;
constexpr uint16_t SetCuttingSpeedMode = 0x0FFE;
constexpr uint16_t GetCuttingSpeedMode = 0x0FFF;
constexpr uint16_t GetSystemReport = 0x2000;
constexpr uint16_t GetFatalError = 0x2100;
constexpr uint16_t GetCommandError = 0x2102;
constexpr uint16_t ClearCommandError = 0x2103;
constexpr uint16_t ClearSettings = 0x2204;
constexpr uint16_t GetSpindleTime = 0x2407;
constexpr uint16_t ResetSpindleTime = 0x2427;
constexpr uint16_t TestMotorLoadX = 0x2510;
constexpr uint16_t TestMotorLoadY = 0x2511;
constexpr uint16_t TestMotorLoadZ = 0x2512;
constexpr uint16_t StartIdling = 0x2600;
constexpr uint16_t PowerOff = 0x2604;
constexpr uint16_t ResetSpindleUnitTime = 0x2FFC;
constexpr uint16_t GetSpindleUnitTime = 0x2FFD;
constexpr uint16_t SelectSpindleUnit = 0x2FFE;
constexpr uint16_t GetSpindleUnit = 0x2FFF;
constexpr uint16_t GetSpindleRotation = 0x3005;
constexpr uint16_t SetSpindleRotation = 0x3006;
constexpr uint16_t GetMachineSettings = 0x3106;
constexpr uint16_t SetMachineSettings = 0x3107;
constexpr uint16_t GetExofsOrigin = 0x3202;
constexpr uint16_t GetWorkOriginBase = 0x3203;      // G54; + (n - 54)
constexpr uint16_t GetExtraWorkOriginBase = 0x3209; // P1; + (p - 1)
constexpr uint16_t SetExofsOrigin = 0x3335;
constexpr uint16_t SetWorkOriginBase = 0x3336;      // G54
constexpr uint16_t SetExtraWorkOriginBase = 0x333C; // P1
constexpr uint16_t SetTestCutOption = 0x3468;
constexpr uint16_t GetToolOffsetBase = 0x346B; // No. 1
constexpr uint16_t SetToolOffsetBase = 0x347B; // No. 1
constexpr uint16_t MoveToOrigin = 0x3501;

constexpr int FirstWorkSystem = 54; // G54
constexpr int LastWorkSystem = 59;  // G59
constexpr int ExtraWorkSystems = 300;
constexpr int ToolOffsets = 8;
} // namespace Cmd

// Coordinate-system numbers used across the panel and by MoveToOrigin.
namespace CoordSystem {
constexpr int Machine = 0;
constexpr int User = 1;
constexpr int Exofs = 2;
constexpr int FirstWork = 3;   // G54
constexpr int LastWork = 8;    // G59
constexpr int FirstExtra = 10; // P1
constexpr int LastExtra = 309; // P300
} // namespace CoordSystem

namespace AxisMask {
constexpr int16_t XY = 3;
constexpr int16_t Z = 4;
} // namespace AxisMask

namespace OperationMode {
constexpr uint8_t MotorLoadTest = 2;
constexpr uint8_t TestCut = 3;
constexpr uint8_t Normal = 255;
} // namespace OperationMode

// The marker of GetByteOrder, in the machine's byte order.
constexpr uint16_t ByteOrderMarker = 0x1234;
