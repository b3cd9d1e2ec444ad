#include "PrintSpooler.h"

#include <cups/cups.h>

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 5000;

struct HttpCloser
{
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter
{
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Response = std::unique_ptr<ipp_t, IppDeleter>;

// A connection of its own to the configured server; null when the server does not answer.
Connection Connect()
{
    int cancel = 0;
    return Connection(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                   ConnectTimeoutMs, &cancel));
}

std::string Text(ipp_attribute_t* attribute)
{
    const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return value ? value : "";
}

const char* const PrinterAttributes[] = {"printer-name", "printer-make-and-model", "device-uri",
                                         "printer-type"};

bool ReadPiece(int fd, char* buffer, int length, int& got)
{
    // A piece is filled completely unless the file ends, so every piece but the last is whole.
    got = 0;
    while (got < length) {
        const ssize_t n = read(fd, buffer + got, static_cast<size_t>(length - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<int>(n);
    }
    return true;
}

} // namespace

bool CPrintSpooler::ListPrinters(std::vector<PrinterEntry>& printers)
{
    printers.clear();
    Connection http = Connect();
    if (!http)
        return false;
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(sizeof PrinterAttributes / sizeof *PrinterAttributes), nullptr,
                  PrinterAttributes);
    Response response(cupsDoRequest(http.get(), request, "/"));
    const ipp_status_t status = cupsLastError();
    // A server without queues answers "not found"; that is an empty list, not a failure.
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return true;
    if (!response || status > IPP_STATUS_OK_CONFLICTING)
        return false;
    PrinterEntry entry;
    int type = 0;
    bool inPrinter = false;
    auto flush = [&] {
        if (inPrinter && !entry.name.empty() && !(type & CUPS_PRINTER_REMOTE))
            printers.push_back(entry);
        entry = PrinterEntry{};
        type = 0;
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a;
         a = ippNextAttribute(response.get())) {
        const char* name = ippGetName(a);
        if (!name) {
            flush();
            inPrinter = false;
            continue;
        }
        if (ippGetGroupTag(a) != IPP_TAG_PRINTER)
            continue;
        inPrinter = true;
        const std::string key = name;
        if (key == "printer-name")
            entry.name = Text(a);
        else if (key == "printer-make-and-model")
            entry.driverName = Text(a);
        else if (key == "device-uri")
            entry.port = Text(a);
        else if (key == "printer-type")
            type = ippGetInteger(a, 0);
    }
    flush();
    return true;
}

std::optional<std::string> CPrintSpooler::GetDeviceUri(const std::string& printer)
{
    std::vector<PrinterEntry> printers;
    if (!ListPrinters(printers))
        return std::nullopt;
    for (const PrinterEntry& entry : printers)
        if (entry.name == printer)
            return entry.port;
    return std::nullopt;
}

bool CPrintSpooler::SendRawFile(const std::string& printer, int fd, const std::string& jobName,
                                const SpoolProgress& progress)
{
    if (printer.empty() || fd < 0)
        return false;
    // The first piece is read before the job exists: an unreadable file then leaves no trace in
    // the queue, and an empty one is handed over as what it is, nothing (the server refuses a
    // document without data).
    std::unique_ptr<char[]> piece(new char[PieceSize]);
    int got = 0;
    if (!ReadPiece(fd, piece.get(), PieceSize, got))
        return false;
    if (got == 0)
        return true;
    Connection http = Connect();
    if (!http)
        return false;
    const int job = cupsCreateJob(http.get(), printer.c_str(), jobName.c_str(), 0, nullptr);
    if (job <= 0)
        return false;
    bool ok = cupsStartDocument(http.get(), printer.c_str(), job, jobName.c_str(), CUPS_FORMAT_RAW,
                                1) == HTTP_STATUS_CONTINUE;
    int64_t done = 0;
    while (ok && got > 0) {
        // cupsWriteRequestData writes the whole piece or fails.
        ok = cupsWriteRequestData(http.get(), piece.get(), static_cast<size_t>(got)) ==
             HTTP_STATUS_CONTINUE;
        if (!ok)
            break;
        done += got;
        if (progress)
            progress(done);
        ok = ReadPiece(fd, piece.get(), PieceSize, got);
    }
    if (!ok) {
        // The job is cancelled before anything ends the document: a finished document could
        // start printing before the cancel arrives, and part of a file must never reach the
        // machine. The connection is then dropped in the middle of the document, which the
        // server discards.
        Connection cancel = Connect();
        if (cancel)
            cupsCancelJob2(cancel.get(), printer.c_str(), job, 0);
        return false;
    }
    return cupsFinishDocument(http.get(), printer.c_str()) <= IPP_STATUS_OK_CONFLICTING;
}
