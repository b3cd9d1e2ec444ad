// The print backend of the machine's queues (installed as "zr40" in the print system's backend
// folder). Run without arguments it lists the machines on USB for the device discovery; run with
// a job (job-id user title copies options [file], DEVICE_URI and PRINTER in the environment) it
// writes the job unchanged to the machine's bulk-out endpoint.
//
// The job holds the machine's printer interface from its first byte to its last, as the print
// system's own USB backend does; the panel's control transfers need no claim and so go on
// beside it (status, Pause, Stop). Data goes over in short bulk transfers, so that a cancelled
// job (SIGTERM from the print system) or a stalled machine is seen within one of them.
#include "UsbBus.h"
#include "UsbDeviceMatch.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The print system's backend exit codes.
constexpr int BackendOk = 0;
constexpr int BackendFailed = 1;
constexpr int BackendRetry = 6;

constexpr int PieceSize = 32768;
// One bulk transfer lasts at most this long: a machine whose buffer is full (paused) takes its
// data slowly, and between two transfers the backend looks for a cancel.
constexpr int SliceMs = 100;
// While another program holds the interface (another queue's job), the claim is tried again
// this often.
constexpr auto ClaimRetry = std::chrono::milliseconds(100);
constexpr const char* MakeAndModel = "Quenby ZR-40";

std::atomic<bool> g_cancelled{false};

void OnTerminate(int)
{
    g_cancelled = true;
}

bool IsMachine(const UsbPrinterDevice& device)
{
    const auto fields = ParseDeviceId(device.deviceId);
    const auto model = fields.find("MDL");
    return model != fields.end() && model->second == "ZR-40";
}

int ListMachines()
{
    for (const UsbPrinterDevice& device : CUsbBus::Instance().ListPrinters()) {
        if (!IsMachine(device))
            continue;
        const std::string info = device.serial.empty()
                                     ? std::string(MakeAndModel)
                                     : std::string(MakeAndModel) + " (" + device.serial + ")";
        std::printf("direct %s \"%s\" \"%s\" \"%s\" \"\"\n", MakeBackendUri(device).c_str(),
                    MakeAndModel, info.c_str(), device.deviceId.c_str());
    }
    return BackendOk;
}

// Fills the piece unless the job ends first; -1 on a read error.
int ReadPiece(int fd, char* piece)
{
    int got = 0;
    while (got < PieceSize) {
        const ssize_t n = read(fd, piece + got, static_cast<size_t>(PieceSize - got));
        if (n < 0 && errno == EINTR) {
            if (g_cancelled)
                return -1;
            continue;
        }
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<int>(n);
    }
    return got;
}

// Sends one piece in slices until all of it is taken; false when the machine failed (a stall)
// or the job was cancelled.
bool SendPiece(int handle, const char* data, int length)
{
    while (length > 0) {
        if (g_cancelled)
            return false;
        const int sent = CUsbBus::Instance().BulkWrite(handle, data, length, SliceMs);
        if (sent < 0)
            return false;
        data += sent;
        length -= sent;
    }
    return true;
}

// Holds the printer interface for the job, waiting while another program's job holds it.
bool ClaimForJob(int handle)
{
    bool told = false;
    for (;;) {
        const int result = CUsbBus::Instance().ClaimInterface(handle);
        if (result == CUsbBus::ClaimOk)
            return true;
        if (result != CUsbBus::ClaimBusy || g_cancelled)
            return false;
        if (!told) {
            std::fprintf(stderr, "INFO: The machine is busy with another job; waiting\n");
            told = true;
        }
        std::this_thread::sleep_for(ClaimRetry);
    }
}

int PrintJob(int argc, char** argv)
{
    const char* uriText = std::getenv("DEVICE_URI");
    const char* printer = std::getenv("PRINTER");
    if (!uriText || !printer) {
        std::fprintf(stderr, "ERROR: DEVICE_URI and PRINTER must name the queue's machine\n");
        return BackendFailed;
    }
    const auto uri = ParseUsbDeviceUri(uriText);
    if (!uri) {
        std::fprintf(stderr, "ERROR: %s does not name a machine on USB\n", uriText);
        return BackendFailed;
    }
    int fd = 0;
    int copies = 1;
    if (argc == 7) {
        fd = open(argv[6], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "ERROR: The job file cannot be read: %s\n", std::strerror(errno));
            return BackendFailed;
        }
        copies = std::max(1, std::atoi(argv[4]));
    }
    std::fprintf(stderr, "STATE: +connecting-to-device\n");
    bool ambiguous = false;
    const auto path = MatchUsbDevice(*uri, CUsbBus::Instance().ListPrinters(), &ambiguous);
    if (ambiguous) {
        std::fprintf(stderr,
                     "ERROR: Several machines match the queue %s (%s) and none has a serial "
                     "number; create the queue again with zr40-add-queue, which names the "
                     "machine by its USB port\n",
                     printer, uriText);
        return BackendFailed;
    }
    const int handle = path ? CUsbBus::Instance().Open(*path) : -1;
    if (handle == -1) {
        std::fprintf(stderr, "ERROR: The machine is not connected or is switched off\n");
        return BackendRetry;
    }
    std::fprintf(stderr, "STATE: -connecting-to-device\n");
    if (!ClaimForJob(handle)) {
        CUsbBus::Instance().Close(handle);
        if (g_cancelled)
            return BackendOk;
        std::fprintf(stderr, "ERROR: The machine's printer interface cannot be claimed\n");
        return BackendRetry;
    }

    std::vector<char> piece(PieceSize);
    long long total = 0;
    bool ok = true;
    for (int copy = 0; copy < copies && ok; ++copy) {
        if (copy > 0 && lseek(fd, 0, SEEK_SET) != 0)
            break;
        for (;;) {
            const int got = ReadPiece(fd, piece.data());
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            if (!SendPiece(handle, piece.data(), got)) {
                ok = false;
                break;
            }
            total += got;
            std::fprintf(stderr, "DEBUG: %lld bytes sent\n", total);
        }
    }
    // Closing releases the interface and gives a kernel driver back what was detached.
    CUsbBus::Instance().Close(handle);
    if (g_cancelled) {
        std::fprintf(stderr, "INFO: The job was cancelled after %lld bytes\n", total);
        return BackendOk;
    }
    if (!ok) {
        std::fprintf(stderr, "ERROR: The machine stopped taking the job after %lld bytes\n", total);
        return BackendFailed;
    }
    std::fprintf(stderr, "INFO: %lld bytes sent to the machine\n", total);
    return BackendOk;
}

} // namespace

int main(int argc, char** argv)
{
    // Reports go to the print system line by line.
    setvbuf(stderr, nullptr, _IOLBF, 0);
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (argc == 1)
        return ListMachines();
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return BackendFailed;
    }
    return PrintJob(argc, argv);
}
