// Information tokens, version order and the discovery of firmware images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IMG;

// Value of the first line of `info` that starts with `key` (CR before LF
// dropped), or empty.
std::string GetInfoToken(const std::string &info, const std::string &key);
// Baud rate of a flash loader image from its "BR:" token: 115200, 230400,
// 460800 or 921600.
uint32_t GetImageBaud(const std::string &info);
// < 0 when a is older than b, 0 equal, > 0 newer.
int CompareVersions(const std::string &a, const std::string &b);

// One listed or custom firmware image (its tokens and where it lies).
struct FirmwareVersion {
    std::string path;      // exactly as given to ReadFirmwareInfo
    std::string fileName;  // last component of path
    std::string version;   // "VN:"
    std::string model;     // "MD:"
    std::string hw;        // "HW:"
    bool hasHW = false;    // hw is non-empty
    std::string sha256;    // SHA-256 of the file's bytes these tokens were read from
};

// Loads `path` as an image and fills `fw`; false (fw untouched) when it does
// not load.
bool ReadFirmwareInfo(const std::string &path, FirmwareVersion &fw);
// The record of an image loaded from `path` (its tokens and digest).
FirmwareVersion FirmwareOfImage(const std::string &path, const IMG &image);
// The valid ".bin" images of `folder` (UTF-8 path), newest version first;
// images without a version last. Throws std::filesystem::filesystem_error when
// the scan fails after the folder was opened.
std::vector<FirmwareVersion> DiscoverFirmware(const std::string &folder);
// The order DiscoverFirmware returns: newest first by CompareVersions,
// records without a version last, equal versions by file name, then path.
// Safe on any version strings: where CompareVersions is no consistent order
// on the list (numbers and texts at the same part: 1a < 9 < 10 < 1a) the
// result is still a permutation, the same whatever order the list came in.
void SortNewestFirst(std::vector<FirmwareVersion> &list);
