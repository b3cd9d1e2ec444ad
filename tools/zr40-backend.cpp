// The print backend of the machine's queues (installed as "zr40" in the print system's backend
// folder). Run without arguments it lists the machines on USB for the device discovery; run with
// a job (job-id user title copies options [file], DEVICE_URI and PRINTER in the environment) it
// writes the job unchanged to the machine's bulk-out endpoint.
//
// Every piece of the job goes over inside the machine's device lock, with the USB interface
// claimed only for that piece, so that the panel's status polling goes on between two pieces. A
// cancelled job (SIGTERM from the print system) stops before the next piece.
#include "DeviceMutex.h"
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
constexpr int LockWaitMs = 10000;
// How long one attempt on a piece may hold the device: a machine whose buffer is full takes its
// data slowly, and meanwhile the panel must still get its turn.
constexpr int AttemptMs = 1000;
// The device lock is a lock file that other programs wait for by trying it every few
// milliseconds; a pause this long after each piece lets them in between two pieces instead of
// starving them for the whole job.
constexpr auto YieldTime = std::chrono::milliseconds(3);
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

// Sends one piece: each attempt inside the device lock, until all of it is taken.
bool SendPiece(CDeviceMutex& mutex, int handle, const char* data, int length)
{
    while (length > 0) {
        if (g_cancelled)
            return false;
        if (!mutex.Lock(LockWaitMs)) {
            std::fprintf(stderr, "DEBUG: the machine's device lock was not free in time\n");
            continue;
        }
        const int sent = CUsbBus::Instance().BulkWrite(handle, data, length, AttemptMs);
        mutex.Unlock();
        std::this_thread::sleep_for(YieldTime);
        if (sent < 0)
            return false;
        data += sent;
        length -= sent;
    }
    return true;
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
    const auto path = MatchUsbDevice(*uri, CUsbBus::Instance().ListPrinters());
    const int handle = path ? CUsbBus::Instance().Open(*path) : -1;
    if (handle == -1) {
        std::fprintf(stderr, "ERROR: The machine is not connected or is switched off\n");
        return BackendRetry;
    }
    std::fprintf(stderr, "STATE: -connecting-to-device\n");
    CDeviceMutex mutex;
    if (!mutex.Create(printer)) {
        std::fprintf(stderr, "ERROR: The machine's device lock cannot be created\n");
        return BackendFailed;
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
            if (!SendPiece(mutex, handle, piece.data(), got)) {
                ok = false;
                break;
            }
            total += got;
            std::fprintf(stderr, "DEBUG: %lld bytes sent\n", total);
        }
    }
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
