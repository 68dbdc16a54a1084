// The text form of a fixture's units on zsim's command line (--unit).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/zsim/simfixture.h"

// What the words of a unit's text stand for.
struct SimUnitWords {
    std::string hw;                 // a unit's hardware id unless it names one
    int mismatch = -1;              // its verify mismatch block unless it names one
    std::string oldInfo;            // fw=old: the information text of older firmware
    std::string currentInfo;        // fw=current; empty: not given
    // fw=current: the station's image, as it programs it; may be null.
    std::shared_ptr<const std::string> currentFlash;
};

// [COUNT*]KEY=VALUE[,KEY=VALUE...] (syntax below): appends COUNT units.
// False, with `error` saying why and `units` unchanged, when it does not parse.
bool ParseSimUnits(const std::string &text, const SimUnitWords &words, std::vector<SimUnit> &units,
                   std::string &error);
// Lines describing that syntax, for --help.
extern const char *const kSimUnitSyntax;

// "\n", "\r", "\t" and "\\" in a command-line text; a backslash before any
// other character stands for that character.
std::string SimUnescape(const std::string &s);
// Reads a whole file; false when it cannot be read.
bool SimReadTextFile(const std::string &path, std::string &text);
// The flash contents an image file programs (its blocks' data in order) and
// its information text; false with `error` set when it is no image.
bool SimImageFlash(const std::string &path, std::string &flash, std::string &info, std::string &error);
