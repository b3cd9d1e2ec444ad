// zr40-sim: the machine simulator. Creates the shared block and the events the simulator link
// talks to, runs the firmware model behind them, and takes fault-injection and inspection
// commands on a control socket. Headless; ends cleanly on SIGINT / SIGTERM.
#include "ControlClient.h"
#include "SimulatorServer.h"

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const Usage =
    "Usage: zr40-sim [OPTION]...\n"
    "       zr40-sim [--ctl-socket PATH] --ctl COMMAND [ARG]...\n"
    "\n"
    "Simulates the ZR-40 modeling machine for the control panel and the other programs that\n"
    "drive it through the simulator link. The simulator creates the shared memory block\n"
    "\"/IPC Memory for NAME\" and the nine named semaphores \"/USB Simulator ...\" (stale ones\n"
    "are removed first), answers every transfer, and removes them again when it ends on\n"
    "SIGINT or SIGTERM.\n"
    "\n"
    "Options:\n"
    "  --name NAME            machine name (default \"Quenby ZR-40\", the panel's model name)\n"
    "  --ctl-socket PATH      control socket (default $XDG_RUNTIME_DIR/zr40-sim.ctl,\n"
    "                         or /tmp/zr40-sim-UID.ctl)\n"
    "  --init-ms MS           initialisation time after start and power-on (default 1500)\n"
    "  --speed UM_PER_S       axis speed in micrometres per second (default 20000)\n"
    "  --byte-order little|big  the machine's byte order (default: this computer's)\n"
    "  --swap                 the byte order opposite to this computer's\n"
    "  --firmware TEXT        firmware text (default \"V120 ZR-40 simulated firmware\")\n"
    "  --accept-ms MS         how long a command shows \"not yet accepted\" (default 0)\n"
    "  --quit-skip-ms MS      how long data is skipped after Quit Cutting (default 1000)\n"
    "  --raw-rate BYTES_PER_S how fast a non-NC job is consumed (default 4000)\n"
    "  --control-capacity N   data capacity of the control area (default 16, at least 8)\n"
    "  --bulk-capacity N      data capacity of the bulk areas (default 512)\n"
    "  --unplugged            start with the cable pulled (connected bit clear)\n"
    "  --instant-motion       every move ends at once (throughput measurements)\n"
    "  --ctl COMMAND [ARG]... send one command to a running simulator, print its answer\n"
    "  --help                 this text\n"
    "\n"
    "The firmware model: states 0/1 (initialising), 2 ready, 3 job active, 4 emergency stop;\n"
    "axes that move at the set speed within their travel; origins of the user system, EXOFS,\n"
    "G54..G59 and P1..P300; spindle, spindle units 1..8 and their times; override 10..200 and\n"
    "speed mode; pause, resume and quit with data skipping (state bit 0x200); settings, tool\n"
    "offsets, distance correction, auto power-off; the settings report on bulk-in; test cut\n"
    "lines on bulk-out executed one by one, read as the panel's program reader reads them\n"
    "(G0/G1 at the feed F scaled by the override, G2/G3 arcs in XY, G90/G91, G20/G21,\n"
    "G54..G59, G54.1 P1..P300, M3/M5) with the receive counter and the transaction status\n"
    "bits 0x80 (ready) / 0x100 (busy); with the test-cut option the next line is taken\n"
    "in while the previous one runs; data arriving while a quit skips is dropped; output-file\n"
    "jobs (NC code executed line by line, other data consumed at the raw rate).\n"
    "\n"
    "Control ";

// After the control commands.
const char* const UsageEnd =
    "(A running simulator answers \"zr40-sim --ctl help\" with the same list.)\n"
    "\n"
    "Device-change notices: each simulator link binds an abstract Unix datagram socket named\n"
    "\"zr40-sim-notice-PID-TOKEN\" and writes PID and TOKEN into the block at offsets 12 and 16\n"
    "before every transfer; on unplug, replug and power-off the simulator sends the 4-byte\n"
    "event 7 to every client it has seen. One client's disconnect event never drops the\n"
    "others' connection.\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

bool ToInt(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zr40-sim: %s\n", message.c_str());
    return 2;
}

int RunClient(const std::string& socketPath, const std::vector<std::string>& words)
{
    std::string command;
    for (const std::string& word : words)
        command += (command.empty() ? "" : " ") + word;
    std::string answer;
    if (!SimControl::Request(socketPath, command, answer))
        return Fail("no simulator answers on " + socketPath);
    std::fputs(answer.c_str(), SimControl::IsError(answer) ? stderr : stdout);
    return SimControl::IsError(answer) ? 1 : 0;
}

// A socket file left by a simulator that died is removed; a live one is not taken over.
int ListenOn(const std::string& path)
{
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat info
    {
    };
    if (lstat(path.c_str(), &info) == 0) {
        std::string answer;
        if (!S_ISSOCK(info.st_mode) || SimControl::Request(path, "help", answer, 500))
            return -1;
        unlink(path.c_str());
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void ServeConnection(int listenFd, CSimulatorServer& server)
{
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    std::string line;
    char buffer[512];
    // One line, read within a second; a silent or endless client is cut off.
    while (line.find('\n') == std::string::npos && line.size() < 4096) {
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, 1000) <= 0)
            break;
        const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            break;
        line.append(buffer, static_cast<size_t>(count));
    }
    line = line.substr(0, line.find('\n'));
    const std::string answer = server.Execute(line);
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t count = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            break;
        sent += static_cast<size_t>(count);
    }
    close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    std::string name = "Quenby ZR-40";
    std::string socketPath = SimControl::DefaultSocketPath();
    FirmwareOptions options;
    options.bigEndian = false;
    BlockLayout layout;
    bool connected = true;
    std::vector<std::string> ctlWords;
    bool ctl = false;
    constexpr bool hostBig = std::endian::native == std::endian::big;
    options.bigEndian = hostBig;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        long value = 0;
        if (ctl) {
            ctlWords.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            std::fputs(CSimulatorServer::ControlHelp().c_str(), stdout);
            std::fputs(UsageEnd, stdout);
            return 0;
        } else if (arg == "--ctl") {
            ctl = true;
        } else if (arg == "--name") {
            const char* v = next();
            if (!v || !*v || std::strchr(v, '/'))
                return Fail("--name needs a machine name without '/'");
            name = v;
        } else if (arg == "--ctl-socket") {
            const char* v = next();
            if (!v)
                return Fail("--ctl-socket needs a path");
            socketPath = v;
        } else if (arg == "--init-ms") {
            const char* v = next();
            if (!v || !ToInt(v, 0, 600000, value))
                return Fail("--init-ms needs milliseconds");
            options.initMs = static_cast<int>(value);
        } else if (arg == "--speed") {
            const char* v = next();
            if (!v || !ToInt(v, 1, 100000000, value))
                return Fail("--speed needs micrometres per second");
            options.axisSpeed = static_cast<int>(value);
        } else if (arg == "--byte-order") {
            const char* v = next();
            if (!v || (std::strcmp(v, "little") != 0 && std::strcmp(v, "big") != 0))
                return Fail("--byte-order is little or big");
            options.bigEndian = std::strcmp(v, "big") == 0;
        } else if (arg == "--swap") {
            options.bigEndian = !hostBig;
        } else if (arg == "--firmware") {
            const char* v = next();
            if (!v)
                return Fail("--firmware needs a text");
            options.firmwareText = v;
        } else if (arg == "--accept-ms") {
            const char* v = next();
            if (!v || !ToInt(v, 0, 600000, value))
                return Fail("--accept-ms needs milliseconds");
            options.acceptMs = static_cast<int>(value);
        } else if (arg == "--quit-skip-ms") {
            const char* v = next();
            if (!v || !ToInt(v, 0, 600000, value))
                return Fail("--quit-skip-ms needs milliseconds");
            options.quitSkipMs = static_cast<int>(value);
        } else if (arg == "--raw-rate") {
            const char* v = next();
            if (!v || !ToInt(v, 1, 100000000, value))
                return Fail("--raw-rate needs bytes per second");
            options.rawBytesPerSecond = static_cast<int>(value);
        } else if (arg == "--control-capacity") {
            const char* v = next();
            if (!v || !ToInt(v, 8, 4096, value) || value % layout.controlPacket != 0)
                return Fail("--control-capacity needs a multiple of 8 from 8 to 4096");
            layout.controlCapacity = static_cast<uint16_t>(value);
        } else if (arg == "--bulk-capacity") {
            const char* v = next();
            if (!v || !ToInt(v, 64, 16384, value) || value % layout.bulkPacket != 0)
                return Fail("--bulk-capacity needs a multiple of 64 from 64 to 16384");
            layout.bulkCapacity = static_cast<uint16_t>(value);
        } else if (arg == "--unplugged") {
            connected = false;
        } else if (arg == "--instant-motion") {
            options.instantMotion = true;
        } else {
            return Fail("unknown option " + arg + " (see --help)");
        }
    }
    if (ctl) {
        if (ctlWords.empty())
            return Fail("--ctl needs a command (try --ctl help)");
        return RunClient(socketPath, ctlWords);
    }

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return Fail("cannot create the signal pipe");
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (CSharedMemory::IsServed(SimProtocol::SharedMemoryName(name)))
        return Fail("another simulator already serves \"" + name + "\"");
    CSimulatorServer server(name, layout, options);
    if (!server.Start(connected))
        return Fail("cannot create the shared block and events for \"" + name + "\"");
    const int listenFd = ListenOn(socketPath);
    if (listenFd < 0) {
        server.Stop();
        return Fail("cannot listen on " + socketPath);
    }
    std::fprintf(stderr, "zr40-sim: simulating \"%s\", control socket %s\n", name.c_str(),
                 socketPath.c_str());

    for (;;) {
        pollfd watch[2] = {{g_signalPipe[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
        const int ready = poll(watch, 2, 20);
        if (ready > 0 && (watch[0].revents & POLLIN))
            break;
        if (ready > 0 && (watch[1].revents & POLLIN))
            ServeConnection(listenFd, server);
        server.Housekeeping();
    }
    // Shut down in order: no new control commands, then the transfers, then the names.
    close(listenFd);
    unlink(socketPath.c_str());
    server.Stop();
    return 0;
}
