// The USB link's reading of print-queue device URIs and printer-class device ids. The input is
// split at its first two NUL bytes into a URI, a device id and a serial number. Besides not
// failing on any text, the URI the backend makes for a device must lead back to that device.
#include "UsbDeviceMatch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void Check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\0');
    const std::string uriText = input.substr(0, first);
    std::string deviceId, serial;
    if (first != std::string::npos) {
        const size_t second = input.find('\0', first + 1);
        deviceId =
            input.substr(first + 1, second == std::string::npos ? second : second - first - 1);
        if (second != std::string::npos)
            serial = input.substr(second + 1);
    }

    const UsbPrinterDevice device{"usb:" + serial.substr(0, serial.size() / 2), serial, deviceId};
    const UsbPrinterDevice portOnly{"usb:" + serial, "", deviceId};
    const std::vector<UsbPrinterDevice> devices = {device, portOnly};

    if (const auto uri = ParseUsbDeviceUri(uriText))
        if (const auto path = MatchUsbDevice(*uri, devices))
            Check(*path == device.path || *path == portOnly.path);
    (void)ParseDeviceId(deviceId);

    for (const UsbPrinterDevice& candidate : devices) {
        const std::string made = MakeBackendUri(candidate);
        const auto parsed = ParseUsbDeviceUri(made);
        Check(parsed.has_value());
        const auto found = MatchUsbDevice(*parsed, {candidate});
        Check(found && *found == candidate.path);
    }
    return 0;
}
