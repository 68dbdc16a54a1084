// The operator's commands, as far as they do not depend on a window: each
// changes the application state as the command does and returns what the
// front end is to show. The window and the command line call these; neither
// keeps its own copy.
#pragma once

#include <string>

#include "app/outcome.h"
#include "catalogue/firmware.h"
#include "catalogue/target.h"

// Capture: forgets the device (g_prod, g_hw, g_fwList, g_customValid) and
// the last cancel request, before the capture worker starts.
void ClearDeviceState();

// Program: the image to program, the loaded custom image or else entry
// `listIndex` of the firmware list. False when there is none.
bool ChosenImage(long listIndex, FirmwareVersion &fw);

// Program: the hardware check of the chosen image against the device.
struct ImageApproval {
    enum Verdict { Go, Refuse, Ask } verdict = Refuse;
    std::string text;     // Refuse and Ask: the message box's text; Go: the check's sentence
    std::string caption;  // Refuse and Ask: the message box's caption
    std::string reason;   // the hardware check's own sentence
    FailureKind kind = FailureKind::None;  // Refuse: why
};
ImageApproval ApproveImage(const FirmwareVersion &fw, const Product &prod, const HWOption &hw,
                           bool custom);

// Disconnect: releases the port; the device keeps running its flash loader.
void ReleaseDevice();

// Custom image: how a file given by the operator is judged, before anything
// is kept. Accepted fills `fw`; a refusal comes with the box's text.
struct CustomJudgement {
    enum Verdict { Accepted, NotAnImage, NoIdentifier } verdict = NotAnImage;
    const char *text = "";     // refusal text
    const char *caption = "";  // refusal caption
};
CustomJudgement JudgeCustomImage(const std::string &path, FirmwareVersion &fw);
// The same judgement of a file the caller read itself (`loaded`: it is an
// image, and `read` holds its tokens).
CustomJudgement JudgeCustomRead(bool loaded, const FirmwareVersion &read);
// Keeps an accepted image as the custom image, re-judges it against the
// device, refreshes the panel and logs it.
void AdoptCustomFirmware(const FirmwareVersion &fw);
