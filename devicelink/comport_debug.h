// What the two ComPort platform files share: the diagnostics channel, and the
// checks and refusal reports of the line settings.
#pragma once

#include <string>

// Formats by printf rules into a local buffer and hands the text to the
// installed debug handler. Texts longer than the buffer are cut.
void ComPortDebugf(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Hands text, the device path and a line end to the refusal handler.
void PrintPortRefusal(const char *text, const std::string &devName);

// Line settings in driver-neutral form.
struct LineSettings {
    int dataBits;  // 5, 7 or 8
    int parity;    // 0 none, 1 odd, 2 even, 3 mark
    int stopBits;  // 0 one, 1 one and a half, 2 two
};

// Checks data bits, parity and stop bits in that order. Null when all are
// accepted (out filled in), else the refusal text for PrintPortRefusal.
const char *CheckLineSettings(int dataBits, char parity, int stopBits, LineSettings &out);

// Refusal text when the driver does not take the line settings.
extern const char *const kLineRefused;
// Refusal text when the driver does not take the baud rate.
extern const char *const kBaudRefused;
