// Release notes of a hardware option: reading them, and their line ends.
#pragma once

#include <string>

#include "catalogue/target.h"

// What the operator is told when the option ships no release notes.
extern const char *const kNoReleaseNotes;  // "No release notes are included for this product."

// The bytes of the option's release.txt; false when it cannot be read.
bool ReadReleaseNotes(const HWOption &hw, std::string &bytes);
// For a multi-line edit control: CR bytes dropped, LF -> CR LF.
std::string ToEditLineEnds(const std::string &text);
// For a console: CR bytes dropped (its own line ends replace the file's).
std::string WithoutCarriageReturns(const std::string &text);
