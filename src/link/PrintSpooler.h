#pragma once

#include "PrinterEntry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Told the bytes handed over so far after every piece of a raw job.
using SpoolProgress = std::function<void(int64_t bytesDone)>;

// The print system's side of the real machine (CUPS): the installed printers, the machine's
// queues among them, and raw jobs. It talks to the server the client configuration names
// (CUPS_SERVER, or the local default); every call connects, asks and disconnects, and nothing
// waits longer than the connection time-out when the server does not run. Behind the USB link
// only; the simulator never needs it.
class CPrintSpooler
{
public:
    // The bytes of one piece of a raw job.
    static constexpr int PieceSize = 32768;

    // The local queues (not those of other servers) in the server's order, with make and model
    // and device URI; false when the server cannot be reached.
    bool ListPrinters(std::vector<PrinterEntry>& printers);

    // The device URI of one queue; nothing when the queue or the server is not there.
    std::optional<std::string> GetDeviceUri(const std::string& printer);

    // Sends the open file fd as one raw job named jobName to the printer's queue, read and
    // written in pieces of PieceSize bytes, reporting the bytes handed over after every piece.
    // True only when the whole file was read and accepted; on a failure the job is cancelled
    // before its document is ended, so that part of a file never reaches the machine.
    bool SendRawFile(const std::string& printer, int fd, const std::string& jobName,
                     const SpoolProgress& progress = {});
};
