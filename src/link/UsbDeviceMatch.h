#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// What a search of the USB bus reports about one printer-class device.
struct UsbPrinterDevice
{
    std::string path;          // names the device uniquely: "usb:BUS-PORT.PORT..."
    std::string serial;        // the serial-number string, empty when the device has none
    std::string deviceId;      // the printer-class device id ("MFG:...;MDL:...;")
    bool accessDenied = false; // the device could not be opened: this user lacks the rights
    std::string node = {};     // its device node, "/dev/bus/usb/BUS/ADDRESS"
};

// The device a print queue's device URI points at. Both this project's backend
// ("zr40://Make/Model?serial=...") and the spooler's own USB backend
// ("usb://Make/Model?serial=...") write URIs of this shape; "?port=BUS-PORT.PORT" stands in for
// the serial number of a device that has none.
struct UsbDeviceUri
{
    std::string make;
    std::string model;
    std::string serial;
    std::string port;
};

// The scheme of this project's backend, which is also the backend program's name. The build
// reads it from here for the backend's installation and the queue helper.
inline constexpr const char* BackendScheme = "zr40";

// Parses a queue's device URI; nothing when it does not name a USB device.
std::optional<UsbDeviceUri> ParseUsbDeviceUri(const std::string& uri);

// The fields of a device id, keyed by their short upper-case names: "MANUFACTURER" is filed as
// "MFG", "MODEL" as "MDL", "SERIALNUMBER" as "SN", "COMMAND SET" as "CMD".
std::map<std::string, std::string> ParseDeviceId(const std::string& deviceId);

// The device among the candidates that the URI names: the one with the URI's serial number (the
// USB serial string or the device id's SN field), else the one on the URI's port, else, when the
// URI gives neither, the one whose device id has the URI's manufacturer and model (compared
// ignoring case). Nothing when none fits, and nothing when the URI gives neither and several
// devices fit: two units without serial numbers cannot be told apart by make and model, and
// taking the first would drive one machine from two queues (ambiguous is then set).
std::optional<std::string> MatchUsbDevice(const UsbDeviceUri& uri,
                                          const std::vector<UsbPrinterDevice>& devices,
                                          bool* ambiguous = nullptr);

// The URI this project's backend reports for a device: make and model from its device id,
// then its serial number or, without one, its port.
std::string MakeBackendUri(const UsbPrinterDevice& device);

// The device's port from its path ("usb:1-2.3" -> "1-2.3").
std::string PortOfPath(const std::string& path);
