#include "UsbDeviceMatch.h"

#include <gtest/gtest.h>

namespace {

const std::vector<UsbPrinterDevice> Devices = {
    {"usb:1-1", "", "MFG:Other;MDL:Printer 9;"},
    {"usb:1-2", "A100", "MFG:Quenby;MDL:ZR-40;CMD:ZML-1,NC;"},
    {"usb:2-1.4", "", "MANUFACTURER:QUENBY;MODEL:zr-40;SERIALNUMBER:B200;"},
    {"usb:3-1", "", "MFG:Twin;MDL:T-1;"},
    {"usb:3-2", "", "MFG:Twin;MDL:T-1;"},
};

} // namespace

TEST(UsbDeviceMatch, QueueUrisFindTheirDevice)
{
    struct Row
    {
        const char* uri;
        std::optional<std::string> path;
        bool ambiguous = false;
    };
    const Row rows[] = {
        // This project's backend and the spooler's own USB backend, by serial number.
        {"zr40://Quenby/ZR-40?serial=A100", "usb:1-2"},
        {"usb://Quenby/ZR-40?serial=A100", "usb:1-2"},
        // The serial number of the device id counts as much as the USB serial string.
        {"usb://Quenby/ZR-40?serial=B200&interface=0", "usb:2-1.4"},
        // A serial number that no device has is another unit: no fallback to the model.
        {"usb://Quenby/ZR-40?serial=C300", std::nullopt},
        // By port for a device without serial number.
        {"zr40://Quenby/ZR-40?port=2-1.4", "usb:2-1.4"},
        // Without either, the one device with that manufacturer and model, ignoring case;
        // escapes in the URI are undone.
        {"usb://Other/Printer%209", "usb:1-1"},
        {"usb://Quenby/ZR-41", std::nullopt},
        // Several units of that make and model (two without serial numbers, or one with and
        // one without) cannot be told apart by it: refused, never the first of them.
        {"usb://Twin/T-1", std::nullopt, true},
        {"usb://QUENBY/zr-40", std::nullopt, true},
        // Queues that are not on USB.
        {"file:///dev/null", std::nullopt},
        {"ipp://host/printers/zr", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        const std::optional<UsbDeviceUri> uri = ParseUsbDeviceUri(row.uri);
        bool ambiguous = false;
        const std::optional<std::string> path =
            uri ? MatchUsbDevice(*uri, Devices, &ambiguous) : std::nullopt;
        EXPECT_EQ(path, row.path);
        EXPECT_EQ(ambiguous, row.ambiguous);
    }
}

TEST(UsbDeviceMatch, BackendUriNamesTheDeviceAndParsesBack)
{
    const UsbPrinterDevice withSerial{"usb:1-2", "A 1&2", "MFG:Quenby;MDL:ZR-40;"};
    const UsbPrinterDevice withoutSerial{"usb:3-1.2", "", "MFG:Quenby;MDL:ZR-40;"};
    EXPECT_EQ(MakeBackendUri(withSerial), "zr40://Quenby/ZR-40?serial=A%201%262");
    EXPECT_EQ(MakeBackendUri(withoutSerial), "zr40://Quenby/ZR-40?port=3-1.2");
    for (const UsbPrinterDevice& device : {withSerial, withoutSerial}) {
        const auto uri = ParseUsbDeviceUri(MakeBackendUri(device));
        ASSERT_TRUE(uri);
        EXPECT_EQ(MatchUsbDevice(*uri, {withoutSerial, withSerial}), device.path);
    }
}
