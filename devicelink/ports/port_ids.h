// How ports and their USB adapters are named, the same on every platform:
// the selector usb:VID:PID[:SERIAL], Windows device instance ids and COM names.
#pragma once

#include <string>

// usb:VID:PID[:SERIAL]: VID and PID four hex digits each; the serial number
// is the rest (it may hold colons).
struct UsbSelector {
    std::string usbId;   // "1a86:7523", lower case
    std::string serial;  // empty: any
};

bool IsUsbSelector(const std::string &text);
// False with a message when `text` is not a well-formed selector.
bool ParseUsbSelector(const std::string &text, UsbSelector &selector, std::string &error);
// Whether an adapter with this id ("0403:6001", any case) and serial number
// is one the selector names. Serial numbers compare without regard to case:
// Windows keeps them in upper case.
bool SelectorMatches(const UsbSelector &selector, const std::string &usbId, const std::string &serial);

// The vendor:product id and serial number in a Windows device instance id:
//   USB\VID_0403&PID_6001\A10KXABC              -> 0403:6001, A10KXABC
//   FTDIBUS\VID_0403+PID_6001+A10KXABCA\0000     -> 0403:6001, A10KXABC (FTDI's bus
//                                                   appends the channel letter)
//   USB\VID_2E8A&PID_000A&MI_00\6&1A2B3C&0&0000  -> 2e8a:000a, no serial (an
//                                                   interface; "&" marks an id Windows made up)
// False when the id names no USB vendor and product.
bool ParseInstanceId(const std::string &id, std::string &usbId, std::string &serial);

// A COM port's name as Windows lists it: upper case, without \\.\ before it.
std::string ComPortName(const std::string &port);
