// zr40ctl: drives the machine from the command line, for scripts and diagnosis. Every
// transaction goes through the command layer, which takes the machine's device lock, so it can
// run next to the panel.
#include "ModelingMachine.h"
#include "ProgramCommands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const Usage =
    "Usage: zr40ctl [--simulator | --printer NAME] COMMAND [ARG]...\n"
    "\n"
    "Drives the ZR-40 modeling machine. --simulator (the default) uses the machine simulator\n"
    "zr40-sim; --printer NAME the machine installed as that printer.\n"
    "\n"
    "Commands:\n"
    "  status           state, position (mm), spindle speed (rpm), cutting-speed override\n"
    "  firmware         the firmware text\n"
    "  report           the machine's settings report\n"
    "  jog DX DY DZ     move relatively by millimetres, wait until the axes stop\n"
    "  spindle on|off   switch the spindle\n"
    "  speed PERCENT    cutting-speed override, 10 to 200\n"
    "  pause | resume   pause or resume the running job\n"
    "  quit-cutting     quit the running job (its remaining data is skipped)\n"
    "  send FILE        send a cutting-data file as one job\n"
    "  check FILE [--calculator]\n"
    "                   an NC program's extents, the travel check (when the machine answers),\n"
    "                   its run time and the reader's warnings\n"
    "  simulate FILE --tool flat|ball --diameter MM [--resolution MM] [--stock-top MM]\n"
    "           [--max-depth MM] [--calculator] --out PART\n"
    "                   the surface the program cuts, as a 16-bit PGM height map or, for a\n"
    "                   PART ending in .stl, an STL solid; lists rapid moves through standing\n"
    "                   stock and cuts deeper than --max-depth. Needs no machine.\n"
    "  (--calculator: numbers without a decimal point are millimetres, not micrometres)\n"
    "\n"
    "Errors are reported on one line of standard error; the exit status is then non-zero.\n";

const char* StateName(int state)
{
    switch (state) {
    case MachineState::Initialising0:
    case MachineState::Initialising1:
        return "initialising";
    case MachineState::Ready:
        return "ready";
    case MachineState::JobActive:
        return "job active";
    case MachineState::EmergencyStop:
        return "emergency stop";
    default:
        return "not operable";
    }
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zr40ctl: %s\n", message.c_str());
    return 1;
}

bool ParseMillimetres(const char* text, int32_t& micrometres)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) ||
        std::fabs(value) > 1.0e6)
        return false;
    micrometres = static_cast<int32_t>(std::lround(value * 1000.0));
    return true;
}

int Status(CModelingMachine& machine)
{
    MachineStatus status;
    if (machine.ReadMachineStatus(status) < MachineStatus::WordsSize)
        return Fail("the machine does not report its status");
    std::printf("state: %d (%s)\n", status.State(), StateName(status.State()));
    if (status.position[0] == -1 && status.position[1] == -1 && status.position[2] == -1) {
        std::printf("position: ---\n");
        return 0;
    }
    std::printf("position: %.3f %.3f %.3f mm\n", status.position[0] / 1000.0,
                status.position[1] / 1000.0, status.position[2] / 1000.0);
    std::printf("spindle: %d rpm%s\n", status.spindleSpeed,
                (status.stateWord & StateBit::SpindleRotating) ? "" : " (stopped)");
    if (status.override == 0)
        std::printf("override: ---\n");
    else
        std::printf("override: %u %%\n", status.override);
    return 0;
}

// Waits until the axes have stopped at the end of a move that was just accepted. A machine
// that says it moves but does not get anywhere for StallLimit is given up on.
bool WaitForMove(CModelingMachine& machine, const AxisTriple& target)
{
    constexpr auto StallLimit = std::chrono::milliseconds(CModelingMachine::WaitLimitMs);
    const auto start = Clock::now();
    auto lastProgress = start;
    AxisTriple lastPosition{};
    bool seenMoving = false;
    for (;;) {
        MachineStatus status;
        if (machine.ReadMachineStatus(status) < MachineStatus::WordsSize)
            return false;
        const auto now = Clock::now();
        const bool moving = (status.stateWord & StateBit::Moving) != 0;
        seenMoving = seenMoving || moving;
        if (!moving && (seenMoving || status.position == target ||
                        now - start > std::chrono::milliseconds(500)))
            return true;
        if (status.position != lastPosition) {
            lastPosition = status.position;
            lastProgress = now;
        } else if (now - lastProgress > StallLimit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int Jog(CModelingMachine& machine, char** args)
{
    AxisTriple delta{};
    for (size_t axis = 0; axis < 3; ++axis)
        if (!ParseMillimetres(args[axis], delta[axis]))
            return Fail(std::string("not a distance in millimetres: ") + args[axis]);
    AxisTriple position{};
    if (!machine.GetPosition(position))
        return Fail("the machine does not report its position");
    AxisTriple target{};
    for (size_t axis = 0; axis < 3; ++axis) {
        // Worked out in 64 bits: a target beyond the machine's 32-bit positions is refused
        // rather than wrapped round to the far side.
        const int64_t sum = static_cast<int64_t>(position[axis]) + delta[axis];
        if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max())
            return Fail("the move leads beyond the machine's coordinates");
        target[axis] = static_cast<int32_t>(sum);
    }
    if (!machine.JogTo(-1, target))
        return Fail("the machine refused the move");
    if (!WaitForMove(machine, target))
        return Fail("the machine stopped answering or moving during the move");
    return 0;
}

int Report(CModelingMachine& machine)
{
    std::string text;
    const bool complete =
        machine.GetSystemReport([&](const char* data, int length) { text.append(data, length); });
    if (!complete)
        return Fail("the settings report could not be read");
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty() && text.back() != '\n')
        std::fputc('\n', stdout);
    return 0;
}

int Run(CModelingMachine& machine, int argc, char** argv)
{
    const std::string command = argv[0];
    const auto expect = [&](int count) { return argc == count + 1; };
    if (command == "status" && expect(0))
        return Status(machine);
    if (command == "firmware" && expect(0)) {
        const std::optional<std::string> text = machine.GetFirmwareVersion();
        if (!text)
            return Fail("the firmware version could not be read");
        std::printf("%s\n", text->c_str());
        return 0;
    }
    if (command == "report" && expect(0))
        return Report(machine);
    if (command == "jog" && expect(3))
        return Jog(machine, argv + 1);
    if (command == "spindle" && expect(1) &&
        (std::strcmp(argv[1], "on") == 0 || std::strcmp(argv[1], "off") == 0)) {
        if (!machine.SetSpindleRotation(std::strcmp(argv[1], "on") == 0 ? 1000 : 0))
            return Fail("the machine refused the spindle command");
        return 0;
    }
    if (command == "speed" && expect(1)) {
        char* end = nullptr;
        const long percent = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || percent < 10 || percent > 200)
            return Fail(std::string("the override is 10 to 200 percent, not ") + argv[1]);
        if (!machine.SetCuttingSpeed(static_cast<int>(percent)))
            return Fail("the machine refused the override");
        return 0;
    }
    if ((command == "pause" || command == "resume" || command == "quit-cutting") && expect(0)) {
        const bool done = command == "pause"    ? machine.PauseCutting()
                          : command == "resume" ? machine.ResumeCutting()
                                                : machine.QuitCutting();
        if (!done)
            return Fail("the machine refused " + command);
        return 0;
    }
    if (command == "send" && expect(1)) {
        int error = 0;
        if (!machine.SendFile(argv[1], "zr40ctl", &error)) {
            if (error != 0)
                return Fail(std::string(argv[1]) + ": " + std::strerror(error));
            return Fail(std::string("the machine did not take ") + argv[1]);
        }
        return 0;
    }
    return Fail("unknown command or wrong arguments: " + command + " (see --help)");
}

} // namespace

int main(int argc, char** argv)
{
    bool simulator = true;
    std::string printer;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (option == "--simulator") {
            simulator = true;
        } else if (option == "--printer" && i + 1 < argc) {
            simulator = false;
            printer = argv[++i];
        } else {
            return Fail("unknown option " + option + " (see --help)");
        }
    }
    if (i >= argc)
        return Fail("no command given (see --help)");

    const std::string command = argv[i];
    if (command == "simulate")
        return SimulateProgram(argc - i, argv + i);
    CModelingMachine machine;
    if (command == "check") {
        // The travel check uses the machine when it answers; the rest needs none.
        const bool answers = simulator ? machine.UseSimulator({}) : machine.SelectMachine(printer);
        return CheckProgram(argc - i, argv + i, answers ? &machine : nullptr);
    }
    if (simulator) {
        if (!machine.UseSimulator({}))
            return Fail("no machine simulator answers (is zr40-sim running?)");
    } else if (!machine.SelectMachine(printer)) {
        return Fail("the machine \"" + printer + "\" does not answer");
    }
    return Run(machine, argc - i, argv + i);
}
