// Checks an image's declared model and hardware against the connected device.
#pragma once

#include <string>

#include "catalogue/firmware.h"
#include "catalogue/target.h"

// "model (hw)", "model", "(hw)" or "".
std::string ModelHW(const std::string &model, const std::string &hw);

enum HWVerdict { HWMatch = 0, HWMismatch = 1, HWUnknown = 2 };

// Verdict 0 match, 1 other hardware, 2 image has no hardware identifier;
// `message` is replaced by the sentence for the operator.
int CheckFirmwareHW(const FirmwareVersion &fw, const Product &product, const HWOption &option,
                    std::string &message);
