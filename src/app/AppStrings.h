#pragma once

#include <QString>

// Numbers of the string-table entries the application shell uses.
namespace AppString {
inline constexpr int ModelName = 102;            // "ZR-40"
inline constexpr int HelpFileName = 103;         // "kv412.chm"
inline constexpr int RetryCaption = 21003;       // "Retry"
inline constexpr int EndCaption = 21001;         // "End"
inline constexpr int SingleMachineTitle = 50001; // "Quenby Miltaro Controller for %s"
inline constexpr int MultiMachineTitle = 50002;  // "Miltaro Controller for %s"
inline constexpr int VersionFormat = 50010;      // "Version: %s"
inline constexpr int VersionMissing = 50011;     // "Version : ----"
inline constexpr int FirmwareFormat = 50012;     // "Firmware: %s"
inline constexpr int LegalNoticeFallback = 50014;
inline constexpr int FileAccessError = 50060; // "An unexpected error ... accessing %1."
inline constexpr int SimulatorOption = 50080;
inline constexpr int UnexpectedArgument = 50081; // "%1" is the argument
} // namespace AppString
