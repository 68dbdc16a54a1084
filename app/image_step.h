// The step that the program and verify workers begin with: the image file
// is read and checked before anything is sent to the device.
#pragma once

#include <memory>
#include <string>

#include "targetlib/capture.h"

// The image at `path`, or null after logging and recording the failure.
std::unique_ptr<IMG> ReadImageStep(const std::string &path);
