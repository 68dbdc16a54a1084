// What a worker is doing and how it ended, as data beside its log lines: the
// step hook tells a front end each step as it starts; the outcome is written
// before the completion message and read when that message arrives. The log
// is for people; a front end decides from these.
#pragma once

#include <cstdint>
#include <string>

enum class WorkStep {
    None,
    OpenPort,      // opening the serial port
    WaitDevice,    // waiting for the boot loader's announcement
    Identify,      // captured; asking for the hardware identifier
    StartLoader,   // loading the flash loader into RAM and starting it
    ListFirmware,  // finding the images that ship for the hardware
    Query,         // reading the installed firmware's information
    ReadImage,     // reading and checking the image to program
    BlankCheck,
    Erase,
    Program,
    Verify,
    Done,
};

enum class FailureKind {
    None,
    PortOpenFailed,  // the port could not be opened
    Cancelled,       // the operator stopped the wait
    TimedOut,        // the device did not appear in time
    Interrupted,     // the operator stopped it while the device was being written
    NoAnswer,        // the device or the line went silent
    DeviceRefused,   // the device answered with an error
    VerifyMismatch,  // the flash does not hold the image
    ImageInvalid,    // the image to program is missing, damaged or empty
    ImageChanged,    // the image file's bytes are no longer those that were checked
    LoaderMissing,   // the flash loader image is missing or damaged
    NoFirmware,      // no firmware ships for the device (or its folder is unreadable)
    UnknownDevice,   // the device's hardware identifier is not in the table
    WrongHardware,   // the image is for other hardware
    Unverifiable,    // the image has no hardware identifier, and nobody confirmed it
    Reseated,        // the unit powered up again in the middle of its session (a station takes it again)
    RecordUnwritable,  // the session's start could not be put on record: nothing was written
    Internal,        // a fault of the program itself (keep last)
};

struct Failure {
    FailureKind kind = FailureKind::None;
    WorkStep step = WorkStep::None;  // the step it happened in
    std::string message;   // the operator's sentence, as logged without "ERROR: "
    std::string detail;    // the library's or the system's own words
    std::string file;      // the port, image, loader or folder concerned
    int block = -1;        // image block (0-based) the device did not accept
    int deviceError = -1;  // error code the device replied with
};

// An information text's tokens (the installed firmware, or an image's).
struct FirmwareInfo {
    std::string version, model, hw, built;
};
FirmwareInfo ParseFirmwareInfo(const std::string &info);
bool IsEmpty(const FirmwareInfo &info);

struct WorkerOutcome {
    bool ok = false;
    Failure failure;         // kind None when ok
    unsigned loaderBaud = 0; // capture: the rate the flash loader runs at
    FirmwareInfo installed;  // query: what the device holds
};

// Written by the running worker before its completion message; read by the
// front end when it handles that message.
extern WorkerOutcome g_outcome;

// Called on the worker's thread as each step starts; `bytes` is the data the
// step sends in blocks (flash loader, program, verify), else 0.
using StepHook = void (*)(WorkStep step, uint64_t bytes);
void SetStepHook(StepHook hook);
void ReportStep(WorkStep step, uint64_t bytes = 0);

// The sentence of a log line: "    ERROR: Could not query ..." -> "Could not query ...".
std::string SentenceOfLine(const std::string &line);

// Names as the command line and its JSON give them: "open", "blankCheck";
// "port-open-failed".
const char *StepName(WorkStep step);
// The step of a name StepName gives; None for any other text.
WorkStep StepOfName(const std::string &name);
const char *FailureKindName(FailureKind kind);
