// Which image a device session writes, read once and judged: the custom
// image given by name, or the listed image of the version asked for (the
// newest when none is). Each step shows its refusal through the session's
// view and keeps it in the result; it returns the exit code.
#pragma once

#include <map>
#include <string>

#include "app/image_step.h"
#include "station/device_session.h"
#include "station/session.h"

// Listed images a station has read already, by path: each is read once a
// shift and written from that read while its file holds the same bytes.
using ImageCache = std::map<std::string, CheckedImage>;

// The custom image read once and judged as a dropped file is, before any
// device is touched; `expectedSha256` (may be empty): the digest its bytes
// must have (--expect-sha256, or a supervisor's check passed on).
int LoadCustomImage(const std::string &path, const std::string &expectedSha256, CheckedImage &custom,
                    DeviceResult &result);
// The sentence for an image whose bytes are not those expected.
std::string UnexpectedImageText(const std::string &path, const std::string &sha256, const std::string &expected);
// Before any device is touched: some hardware option lists `version` (or it is empty).
int CheckVersionListed(const std::string &version, DeviceResult &result);
// After the capture: the custom image, or the listed one read now (or kept
// in `cache`, may be null) and found to hold the bytes that were listed.
int ChooseImage(const SessionOptions &options, const CheckedImage &custom, ImageCache *cache, CheckedImage &checked,
                DeviceResult &result);
// The window's Program command: other hardware is refused, an image that
// cannot be verified needs `yes`.
int JudgeImage(const FirmwareVersion &fw, bool yes, DeviceResult &result);
