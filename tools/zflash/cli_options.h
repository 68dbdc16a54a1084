// zflash's command line: its options and commands (CLI11), and the checks a
// mistyped command line gets before it is parsed.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/zflash/zflash.h"

struct Command {
    std::string name;
    GlobalOptions global;
    DeviceOptions device;
    int stationRetries = 1;  // station: --retries, 1 unless given
    std::vector<std::string> files;
    std::string hw;
    std::string db;       // records: --db URL
    bool follow = false;  // records ingest --follow
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";  // tests: $ZFLASH_DEV_ROOT
};

extern const char *const kCommandNames[];  // null-terminated

void AddGlobalOptions(CLI::App &app, GlobalOptions &g);
void AddCommands(CLI::App &app, Command &c);

// The command word of an argument list (the first argument that is neither
// an option nor an option's value), or empty.
std::string CommandWord(const std::vector<std::string> &args);
// The known command nearest to a mistyped one, or empty when none is near.
std::string NearestCommand(const std::string &word);
// A version as the listing shows it ("v1.9.7") or plain ("1.9.7"): plain.
std::string PlainVersion(const std::string &version);
