// One device session from start to end, as a front end asks for it: capture
// the device and read its firmware; or also choose, read once, judge and
// program an image (or verify it, or find it installed already). What
// happens is shown through the session's view (session_view.h) and kept in
// the result; the exit code is returned (station/exitcodes.h).
#pragma once

#include <map>
#include <string>

#include "app/image_step.h"

#include "station/session.h"

struct SessionOptions {
    std::string port;         // the port of this session
    std::string image;        // custom image file; empty: a listed image
    std::string imageSha256;  // the custom image's digest must be this (asked for, or a supervisor's check); empty: any
    std::string version;      // listed image with this version ("1.9.7"); empty: the newest
    bool yes = false;            // program an image that cannot be verified
    bool skipIfCurrent = false;  // verify instead when the device holds the image already
    double timeout = 0;          // seconds to wait for the device; 0: until stopped
    // Times to erase, program and verify again after a lost reply or a
    // verify mismatch, while the flash loader still answers.
    int retries = 0;
    // A station's unit: one that powers up again in the middle of its
    // session is recorded so (its next session takes it again).
    bool station = false;
};

int CaptureSession(const SessionOptions &options, DeviceResult &result);
// After a capture: the firmware before, the image chosen (the custom one, or
// the listed one read now or kept in `cache`, may be null) and judged, then
// verified only when the device holds it already (skipIfCurrent) or
// programmed (with the retries asked for), and the firmware after. The port
// stays open.
int ProgramCapturedDevice(const SessionOptions &options, const CheckedImage &custom, std::map<std::string, CheckedImage> *cache,
                          DeviceResult &result);
int ProgramSession(const SessionOptions &options, DeviceResult &result);
// Compares the firmware region with the image; nothing is written.
int VerifySession(const SessionOptions &options, DeviceResult &result);
