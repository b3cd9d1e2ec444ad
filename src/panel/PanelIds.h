#pragma once

#include <array>

// Control ids of the panel (dialog template 102). Every control of the panel carries its id as
// its object name ("1030" for the X+ key), so tests and other dialogs find it with
// findChild<QWidget*>("1030") or through CControlPanelDlg::GetControl(id).
namespace PanelId {
// position display and coordinate systems
constexpr int ShownSystemList = 1170;
constexpr int ValueX = 1004;
constexpr int ValueY = 1007;
constexpr int ValueZ = 1009;
constexpr int UnitX = 1047;
constexpr int UnitY = 1048;
constexpr int UnitZ = 1049;
constexpr int CommandSetLabel = 1005;
constexpr int SetOriginLabel = 1162;
constexpr int OriginSystemList = 1171;
// spindle
constexpr int SpindleLabel = 1010;
constexpr int SpindleValue = 1011;
constexpr int SpindleUnit = 1046;
constexpr int SpindleOn = 1172;
constexpr int SpindleOff = 1173;
// keypad: the upper and lower middle keys move Y (their sign follows CursorYDir)
constexpr int KeyYUpper = 1026;
constexpr int KeyYLower = 1032;
constexpr int KeyXMinus = 1028;
constexpr int KeyXPlus = 1030;
constexpr int KeyZPlus = 1024;
constexpr int KeyZMinus = 1027;
// The six keypad keys, in one list for every loop over them.
inline constexpr std::array KeypadKeys{KeyYUpper, KeyYLower, KeyXMinus,
                                       KeyXPlus,  KeyZPlus,  KeyZMinus};
constexpr int CursorStepLabel = 1161;
constexpr int StepContinue = 1164; // 1164 + CursorType
constexpr int StepX100 = 1165;
constexpr int StepX10 = 1166;
constexpr int StepX1 = 1167;
constexpr int MoveLabel = 1037;
constexpr int OriginLabel = 1160;
constexpr int MoveView = 1178;
constexpr int MoveXY = 1039;
constexpr int MoveZ = 1038;
constexpr int Stop = 1174;
constexpr int SetOriginXY = 1176;
constexpr int SetOriginZ = 1177;
// cutting speed, job
constexpr int CutLabel = 1163;
constexpr int CuttingSpeedLabel = 1012;
constexpr int SpeedAuto = 1168;
constexpr int SpeedManual = 1169;
constexpr int OverrideValue = 1013;
constexpr int OverrideArrows = 1014;
constexpr int PercentLabel = 1045;
constexpr int CancelJob = 40115;
constexpr int Pause = 1175;
constexpr int Setup = 1015;
constexpr int Cut = 1105;
// hidden commands the panel posts to itself
constexpr int WaitSetup = 1050;
constexpr int FatalError = 1063;
constexpr int PausedCommandError = 1064;
constexpr int CommandError = 1065;
constexpr int LastAutoPowerOff = 1182;
} // namespace PanelId

// Items of the panel's window menu (a context menu of the window on this platform, also opened
// with Shift+F10 or the Menu key).
namespace PanelMenu {
constexpr int About = 0x10;
constexpr int Maintenance = 0x30;
constexpr int KeyboardJog = 0x40;
constexpr int JobProgress = 0x50;
} // namespace PanelMenu
