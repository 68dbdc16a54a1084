// The image a program or verify worker writes or compares, and the step the
// workers begin with: the image is read and checked before anything is sent
// to the device, and it must be the very image the front end judged.
#pragma once

#include <memory>
#include <string>

#include "catalogue/firmware.h"
#include "targetlib/capture.h"

// What a front end hands the program and verify workers: the record it
// judged (path, tokens, and the digest of the bytes those came from) and,
// when it read the file itself, that read's blocks.
struct CheckedImage {
    FirmwareVersion fw;
    std::shared_ptr<IMG> image;  // null: the worker reads fw.path and compares digests
};

// Reads `path` once, for a front end that programs what it has checked:
// blocks, tokens and digest of one read. False (LastError, LastErrorText)
// when it does not load.
bool LoadCheckedImage(const std::string &path, CheckedImage &checked);

// Reads the image that `judged` describes (by its path) once more, for a
// front end or worker that writes from its own read: Unreadable when it no
// longer loads (LastErrorText says why), Changed when its bytes are not the
// ones whose digest `judged` carries.
enum class ImageReread { Same, Unreadable, Changed };
ImageReread RereadCheckedImage(const FirmwareVersion &judged, CheckedImage &checked);

// Two digests name the same bytes: both known and equal (a digest that could
// not be computed matches nothing).
bool SameDigest(const std::string &a, const std::string &b);

// The worker's first step: the blocks of the checked read, or the file read
// again and found to be the same bytes and an image for the connected
// hardware. Null after logging and recording why not.
std::shared_ptr<IMG> CheckedImageStep(const CheckedImage &checked);

// The line when the file's bytes are no longer those that were checked.
extern const char *const kImageChangedLine;
