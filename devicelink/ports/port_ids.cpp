#include "devicelink/ports/port_ids.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

bool IsHexId(const std::string &text)
{
    return text.size() == 4 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// The four characters after `key` ("VID_") in `text`, or empty.
std::string FieldAfter(const std::string &text, const std::string &key)
{
    const size_t at = Upper(text).find(key);
    if (at == std::string::npos)
        return std::string();
    const std::string value = text.substr(at + key.size(), 4);
    return IsHexId(value) ? Lower(value) : std::string();
}

}  // namespace

bool IsUsbSelector(const std::string &text)
{
    return Lower(text.substr(0, 4)) == "usb:";
}

bool ParseUsbSelector(const std::string &text, UsbSelector &selector, std::string &error)
{
    const std::string rest = IsUsbSelector(text) ? text.substr(4) : std::string();
    const size_t colon = rest.find(':');
    const std::string vid = rest.substr(0, colon);
    const size_t end = colon == std::string::npos ? colon : rest.find(':', colon + 1);
    const std::string pid = colon == std::string::npos ? std::string() : rest.substr(colon + 1, end - colon - 1);
    const std::string serial = end == std::string::npos ? std::string() : rest.substr(end + 1);
    if (!IsHexId(vid) || !IsHexId(pid) || (end != std::string::npos && serial.empty())) {
        error = "\"" + text + "\" is not a port selector: write usb:VID:PID or usb:VID:PID:SERIAL, " +
                "with four hex digits each for VID and PID (zflash ports shows them).";
        return false;
    }
    selector.usbId = Lower(vid) + ":" + Lower(pid);
    selector.serial = serial;
    return true;
}

bool SelectorMatches(const UsbSelector &selector, const std::string &usbId, const std::string &serial)
{
    return Lower(usbId) == selector.usbId && (selector.serial.empty() || Upper(serial) == Upper(selector.serial));
}

bool ParseInstanceId(const std::string &id, std::string &usbId, std::string &serial)
{
    const size_t first = id.find('\\');
    const size_t second = first == std::string::npos ? first : id.find('\\', first + 1);
    const std::string bus = Upper(id.substr(0, first));
    const std::string hardware = first == std::string::npos ? std::string() : id.substr(first + 1, second - first - 1);
    const std::string instance = second == std::string::npos ? std::string() : id.substr(second + 1);
    const std::string vid = FieldAfter(hardware, "VID_"), pid = FieldAfter(hardware, "PID_");
    if (vid.empty() || pid.empty())
        return false;
    usbId = vid + ":" + pid;
    serial.clear();
    if (bus == "FTDIBUS") {
        const size_t plus = hardware.find('+', hardware.find('+') + 1);
        if (plus != std::string::npos && hardware.size() > plus + 2)
            serial = hardware.substr(plus + 1, hardware.size() - plus - 2);
    } else if (Upper(hardware).find("MI_") == std::string::npos && !instance.empty() &&
               instance.find('&') == std::string::npos) {
        serial = instance;
    }
    return true;
}

std::string ComPortName(const std::string &port)
{
    return Upper(port.compare(0, 4, "\\\\.\\") == 0 ? port.substr(4) : port);
}
