#pragma once

// Numbers of the string-table entries (res/strings.tsv) that the code names, once for every
// layer. Entries that belong to one dialog's template (its captions, its own message) stay with
// that dialog's class.
namespace Str {

// --- the application: titles, names, command line, about box, window menu ------------------
constexpr int AboutItem = 101;            // window menu
constexpr int ModelName = 102;            // "ZR-40"
constexpr int HelpFileName = 103;         // "kv412.chm"
constexpr int Maintenance = 109;          // window menu and the sheet's title
constexpr int KeyboardJogItem = 50015;    // window menu check item "Keyboard jog"
constexpr int JobProgressItem = 50400;    // window menu item "Job progress..."
constexpr int SingleMachineTitle = 50001; // "Quenby Miltaro Controller for %s"
constexpr int MultiMachineTitle = 50002;  // "Miltaro Controller for %s"
constexpr int VersionFormat = 50010;      // "Version: %s"
constexpr int VersionMissing = 50011;     // "Version : ----"
constexpr int FirmwareFormat = 50012;     // "Firmware: %s"
constexpr int NoFirmwareVersion = 50013;  // "----:----"
constexpr int LegalNoticeFallback = 50014;
constexpr int SimulatorOption = 50080;
constexpr int UnexpectedArgument = 50081; // "%1" is the argument

// --- message-box captions --------------------------------------------------------------------
constexpr int Ok = 20000;
constexpr int Cancel = 20001;
constexpr int Abort = 20002;
constexpr int QuitCutting = 110;
constexpr int End = 21001;
constexpr int Continue = 21002;
constexpr int Retry = 21003;

// --- alarms, errors and notices of the machine ---------------------------------------------
constexpr int MachineLeaned = 105;
constexpr int LeanedTemplate = 106;
constexpr int ControllerMissing = 107;
constexpr int ControllerTemplate = 108;
constexpr int SpindleOverloadPausedTemplate = 112;
constexpr int Product = 115;
constexpr int SpindleOverload = 116;
constexpr int PausedShort = 117;
constexpr int SpindleStopped = 118;
constexpr int ErrorLine = 120;        // "%s\n(Error : %03d)"
constexpr int NotFoundTemplate = 121; // "%s was not found."
constexpr int UnknownError = 122;
constexpr int AutoPowerOffNotice = 123;
constexpr int NoMachine = 21009;
constexpr int MachineAccessDenied = 50300; // "... may not open the USB device %1 ..."
constexpr int NoResponse = 21010;
constexpr int EmergencyStopTemplate = 21013;
constexpr int PausedTemplate = 21014;
constexpr int CommandError = 21021;
constexpr int FatalUnknown = 21026;
constexpr int CommandErrorIn = 21038;
constexpr int XLimit = 21056;
constexpr int YLimit = 21057;
constexpr int ZLimit = 21058;
constexpr int NvramFailed = 21062;
constexpr int PausedCommandSetTemplate = 21074;

// --- units, command sets, coordinate systems, read-out placeholders ---------------------------
constexpr int MachineSystem = 21081;
constexpr int UserSystem = 21082;
constexpr int NcCode = 21099;
constexpr int Millimetre = 50020;
constexpr int Inch = 50021;
constexpr int Zml1 = 50022;
constexpr int BothCommandSets = 50023;
constexpr int Exofs = 50024;
constexpr int MillimetrePlaceholder = 50025;
constexpr int InchPlaceholder = 50026;
constexpr int SpindlePlaceholder = 50027;
constexpr int Dashes = 50028;     // "---": the override placeholder, and "no power-off"
constexpr int WorkSystem = 50029; // "G%d"

// --- the settings sheets ---------------------------------------------------------------------
constexpr int ResetSpindleQuestion = 111; // "%d" is the unit
constexpr int OperationFailed = 113;
constexpr int OperationSucceeded = 114;
constexpr int IdlingCompleted = 119;
constexpr int IdlingEndedWithoutReturn = 50090;
constexpr int ClearSettingsQuestion = 21033;
constexpr int SetupSheet = 21094;
constexpr int NcCodeSheet = 21097;
constexpr int ReportedAt = 50040;
constexpr int EnterNumber = 50050;
constexpr int EnterNumberBetween = 61715; // "%1" and "%2" are the bounds

// --- output: the Cut dialog, the test cut, the toolpath --------------------------------------
constexpr int CuttingInProgress = 21041;
constexpr int QuitQuestion = 21045;
constexpr int NextCuttingData = 21046;
constexpr int NullSuffix = 50030;  // " [null]"
constexpr int ErrorSuffix = 50031; // " [error]"
constexpr int OutputFileFilter = 50032;
constexpr int ListFileFilter = 50033;
constexpr int ChangedSuffix = 50034;   // " [changed]"
constexpr int ToolpathTitle = 50200;   // "Toolpath - %1"
constexpr int ToolpathCaption = 50201; // "Toolpath..."
constexpr int ToolpathReading = 50202;
constexpr int ExtentsMillimetres = 50203;
constexpr int ExtentsInches = 50204;
constexpr int RunTime = 50205;
constexpr int RemainingFromLine = 50206;
constexpr int WarningCount = 50207;
constexpr int LineNumber = 50208;
constexpr int LeavesTravelQuestion = 50209; // "%1" the file, "%2" the excesses
constexpr int BelowTravel = 50210;
constexpr int AboveTravel = 50211;
constexpr int NoMoves = 50212;
// The cut surface in the toolpath window and the dangerous moves.
constexpr int ReliefShow = 50500;
constexpr int ReliefTool = 50501;
constexpr int ReliefFlatMill = 50502;
constexpr int ReliefBallMill = 50503;
constexpr int ReliefDiameter = 50504;
constexpr int ReliefStockTop = 50505;
constexpr int ReliefCell = 50506;
constexpr int ReliefAutomatic = 50507;
constexpr int ReliefMaxDepth = 50508;
constexpr int ReliefAnyDepth = 50509;
constexpr int ReliefComputing = 50510;
constexpr int ReliefSurface = 50511;
constexpr int DangerousMoveCount = 50512;
constexpr int NoDangerousMoves = 50513;
constexpr int PathTab = 50514;
constexpr int ReliefTab = 50515;
constexpr int StartFromLineCaption = 50450; // "Start from Line..."
constexpr int StartFromLineTitle = 50451;
constexpr int StartFromLineQuestion = 50452; // "%1" the last line number
constexpr int StartFromLineConfirm = 50453;  // "%1" the lead-in, "%2" the line, "%3" its text
constexpr int StartInsideArc = 50454;        // "%1" the chosen line, "%2" the arcs' first line
constexpr int StartInsideCycle = 50455;      // "%1" the chosen line, "%2" the cycle's line
constexpr int StartUnknown = 50456;          // "%1" the chosen line, "%2" the line not understood
constexpr int StartPastEnd = 50457;          // "%1" the chosen line, "%2" the last line
constexpr int StartFromClickedLine = 50458;  // "Start from Line %1..."

// --- file errors, each with the path for %1 ----------------------------------------------------
constexpr int FileGeneric = 50060;
constexpr int FileNotFound = 50061;
constexpr int FileBadPath = 50062;
constexpr int FileTooManyOpen = 50063;
constexpr int FileAccessDenied = 50064;
constexpr int FileSharingViolation = 50065;
constexpr int FileLockViolation = 50066;
constexpr int FileDiskFull = 50067;
constexpr int FileEndOfFile = 50068;
constexpr int FileBadFormat = 50069;
constexpr int FileWriteFault = 50070;
constexpr int FileReadFault = 50071;
constexpr int FileOutOfMemory = 50072;

// --- the job window: where the machine is in the job Output handed over --------------------
constexpr int JobTitle = 50401; // "Job - %1"
constexpr int JobFile = 50402;  // "File %1 of %2: %3"
constexpr int JobWaiting = 50403;
constexpr int JobRunning = 50404;
constexpr int JobPaused = 50405;
constexpr int JobEnded = 50406;
constexpr int JobTimeDone = 50407;        // "Run time done: %1 %"
constexpr int JobElapsed = 50408;         // "Elapsed: %1"
constexpr int JobRemaining = 50409;       // "Remaining: %1 (cutting speed %2 %)"
constexpr int JobBytesHandedOver = 50410; // "%1 bytes handed over."
constexpr int JobProgressUnknown = 50411;
constexpr int JobClose = 50412;
constexpr int JobLeadIn = 50413; // "Lead-in to line %1"

} // namespace Str
