#include "UsbDeviceMatch.h"

#include <cctype>
#include <strings.h>

namespace {

constexpr const char* PathPrefix = "usb:";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes the %XX escapes of a URI part; a malformed escape stays as it stands.
std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string PercentEncode(const std::string& text)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

std::string Trim(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Field(const std::map<std::string, std::string>& fields, const char* key)
{
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

} // namespace

std::optional<UsbDeviceUri> ParseUsbDeviceUri(const std::string& uri)
{
    const size_t schemeEnd = uri.find("://");
    if (schemeEnd == std::string::npos)
        return std::nullopt;
    const std::string scheme = uri.substr(0, schemeEnd);
    if (scheme != "usb" && scheme != BackendScheme)
        return std::nullopt;
    std::string rest = uri.substr(schemeEnd + 3);
    std::string query;
    if (const size_t q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest.erase(q);
    }
    UsbDeviceUri result;
    const size_t slash = rest.find('/');
    result.make = PercentDecode(rest.substr(0, slash));
    if (slash != std::string::npos)
        result.model = PercentDecode(rest.substr(slash + 1));
    size_t start = 0;
    while (start <= query.size() && !query.empty()) {
        const size_t end = query.find('&', start);
        const std::string pair =
            query.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos) {
            const std::string key = pair.substr(0, eq);
            const std::string value = PercentDecode(pair.substr(eq + 1));
            if (key == "serial")
                result.serial = value;
            else if (key == "port")
                result.port = value;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return result;
}

std::map<std::string, std::string> ParseDeviceId(const std::string& deviceId)
{
    static const std::map<std::string, std::string> LongNames = {
        {"MANUFACTURER", "MFG"}, {"MODEL", "MDL"}, {"SERIALNUMBER", "SN"}, {"SERN", "SN"},
        {"COMMAND SET", "CMD"},  {"CLASS", "CLS"}, {"DESCRIPTION", "DES"},
    };
    std::map<std::string, std::string> fields;
    size_t start = 0;
    while (start < deviceId.size()) {
        size_t end = deviceId.find(';', start);
        if (end == std::string::npos)
            end = deviceId.size();
        const std::string pair = deviceId.substr(start, end - start);
        const size_t colon = pair.find(':');
        if (colon != std::string::npos) {
            std::string key = Upper(Trim(pair.substr(0, colon)));
            if (const auto it = LongNames.find(key); it != LongNames.end())
                key = it->second;
            // The first of two spellings of one field wins, as it usually carries the short form.
            fields.emplace(key, Trim(pair.substr(colon + 1)));
        }
        start = end + 1;
    }
    return fields;
}

std::optional<std::string> MatchUsbDevice(const UsbDeviceUri& uri,
                                          const std::vector<UsbPrinterDevice>& devices,
                                          bool* ambiguous)
{
    if (ambiguous)
        *ambiguous = false;
    if (!uri.serial.empty()) {
        for (const UsbPrinterDevice& device : devices) {
            if (device.serial == uri.serial ||
                Field(ParseDeviceId(device.deviceId), "SN") == uri.serial)
                return device.path;
        }
        // Another unit of the same model is not the queue's machine.
        return std::nullopt;
    }
    if (!uri.port.empty()) {
        for (const UsbPrinterDevice& device : devices)
            if (PortOfPath(device.path) == uri.port)
                return device.path;
        return std::nullopt;
    }
    std::optional<std::string> found;
    for (const UsbPrinterDevice& device : devices) {
        const auto fields = ParseDeviceId(device.deviceId);
        if (!SameIgnoringCase(Field(fields, "MFG"), uri.make) ||
            !SameIgnoringCase(Field(fields, "MDL"), uri.model))
            continue;
        if (found) {
            if (ambiguous)
                *ambiguous = true;
            return std::nullopt;
        }
        found = device.path;
    }
    return found;
}

std::string MakeBackendUri(const UsbPrinterDevice& device)
{
    const auto fields = ParseDeviceId(device.deviceId);
    std::string uri = std::string(BackendScheme) + "://" + PercentEncode(Field(fields, "MFG")) +
                      "/" + PercentEncode(Field(fields, "MDL"));
    if (!device.serial.empty())
        uri += "?serial=" + PercentEncode(device.serial);
    else
        uri += "?port=" + PercentEncode(PortOfPath(device.path));
    return uri;
}

std::string PortOfPath(const std::string& path)
{
    if (path.rfind(PathPrefix, 0) != 0)
        return {};
    return path.substr(std::char_traits<char>::length(PathPrefix));
}
