#pragma once

#include <cstdint>

// Numbers of the string-table texts the settings pages show.
namespace SettingStr {
constexpr int ModelName = 102;
constexpr int MaintenanceSheet = 109;
constexpr int ResetSpindleQuestion = 111;
constexpr int OperationFailed = 113;
constexpr int OperationSucceeded = 114;
constexpr int IdlingCompleted = 119;
constexpr int Ok = 20000;
constexpr int Cancel = 20001;
constexpr int ClearSettingsQuestion = 21033;
constexpr int SetupSheet = 21094;
constexpr int NcCodeSheet = 21097;
constexpr int Millimetres = 50020;
constexpr int Inches = 50021;
constexpr int NoPowerOffChoice = 50028; // "---"
constexpr int ReportedAt = 50040;
} // namespace SettingStr

// Message-box styles and results the pages use (the platform's numbers).
namespace SettingBox {
constexpr uint32_t StyleOk = 0x00;
constexpr uint32_t StyleOkCancel = 0x01;
constexpr uint32_t StyleExclamationOkCancel = 0x31;
constexpr uint32_t StyleInformationOk = 0x40;
constexpr int ResultOk = 1;
} // namespace SettingBox
