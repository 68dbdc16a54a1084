// The file of records: appended to by every zflash of a line, and by the
// window. One file per platform (record_file_posix.cpp, record_file_win32.cpp).
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

// Appends one record as one line of its own and flushes it to disk; false
// with the reason when it cannot. Only a regular file is written; another
// writer's lock is waited for a few seconds at most; a write that fails
// part-way is taken back, and a line that an earlier writer left without
// its end is ended first, so that one bad line never costs another record.
bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error);
// Whether records can be appended to `path` (created when missing): before
// any device is touched. False with the reason.
bool CheckRecordFile(const std::string &path, std::string &error);

// The host's name, as the record names the station.
std::string StationName();
