// The simulated device apart from its line: boot loader and flash loader
// state, and the answer to each request. No I/O and no waiting here; the
// device thread (simdevice.cpp) feeds bytes and frames in and sends replies.
#pragma once

#include <cstddef>
#include <string>

#include "tools/zsim/simdevice.h"

// Error codes the loaders answer with (status 1, first payload byte).
enum SimError : unsigned char {
    SimErrBadLength = 2,
    SimErrWrite = 3,
    SimErrVerify = 4,
    SimErrRegion = 6,
    SimErrNotBlank = 7,
    SimErrUnknownCommand = 8,
    SimErrUnknownField = 9,
    SimErrNoString = 10,
    SimErrInternal = 11,
};

// Off: no unit powered (the fixture is empty): it hears and says nothing.
enum class SimMode { Off, Announcing, BootLoader, FlashLoader };

// What the device does once its reply has gone out.
enum class SimAfter { Nothing, StartLoader, PowerCycle };

struct SimReply {
    unsigned char status = 0;
    std::string payload;
    int busyMs = 0;                 // work before the reply goes out (an erase)
    SimAfter after = SimAfter::Nothing;
    unsigned loaderBaud = 0;        // StartLoader: the rate the loader runs at
};

constexpr unsigned kPowerUpBaud = 115200;
constexpr size_t kRamSize = 256u << 10;     // RAM the boot loader downloads into
constexpr char kFirmwareRegion = 2;

struct SimMachine {
    SimOptions options;
    SimMode mode = SimMode::Announcing;
    unsigned baud = kPowerUpBaud;
    std::string ram;                // downloaded RAM image, blocks in order
    size_t firstBlockSize = 0;      // bytes of the first RAM block
    bool ramLoaded = false;
    // Firmware region from address 0 up to the highest byte ever written;
    // everything beyond reads as erased (0xFF). Survives power cycles.
    std::string flash;
    size_t programCursor = 0;
    size_t verifyCursor = 0;
    int verifyBlock = 0;            // verify blocks since the verify cursor reset
    int lastCommand = -1;           // last request the flash loader carried out
    std::string captureWindow;      // latest bytes seen while not captured
    // The unit in the fixture beyond options.hw, options.verifyMismatchBlock
    // and `flash`: its weak block (SimUnit), blocks programmed since the
    // loader started or the region was erased, and its counts.
    int weakBlock = -1;
    int weakPassesLeft = 0;
    int programBlock = 0;
    SimUnitRecord record;
};

// Reply helpers.
SimReply SimOk(std::string payload = {});
SimReply SimFail(unsigned char error);

// Power-up: boot loader at 115200, RAM and cursors cleared; flash kept.
void SimPowerUp(SimMachine &m);
// The unit loses power (taken out of the fixture): deaf and silent.
void SimPowerOff(SimMachine &m);
// Region contents of a device shipped with the firmware whose information
// text is `info` (empty: a blank region).
std::string SimFactoryFlash(const std::string &info);
// The information text of the installed firmware, or empty when the region
// is blank or holds firmware without one.
std::string SimInstalledInfo(const std::string &flash);

// Boot loader not captured: watches the input for the capture request. True
// on the byte that completes it (the machine is then captured).
bool SimFeedCapture(SimMachine &m, unsigned char c);
// Answers one request in the current mode (boot loader or flash loader).
SimReply SimAnswer(SimMachine &m, unsigned char command, const std::string &payload);
// The flash loader takes over at `baud`.
void SimStartLoader(SimMachine &m, unsigned baud);

// Shared by both loaders.
SimReply SimQuery(const SimMachine &m, const std::string &payload);
SimReply SimGetInfo(const SimMachine &m, const std::string &payload);
SimReply SimBootLoader(SimMachine &m, unsigned char command, const std::string &payload);
SimReply SimFlashLoader(SimMachine &m, unsigned char command, const std::string &payload);
