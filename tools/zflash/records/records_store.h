// The records' database as the loading sees it: opened with its schema
// brought up to date, the position reached in each file, and lines loaded
// together with the position after them, in one transaction (so nothing is
// lost or doubled when the connection breaks half-way).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/zflash/records/sql_connection.h"

struct LoadLine {
    std::string session;
    nlohmann::json entry;
    std::string source;  // FILE:LINE
};

struct FilePosition {
    std::string fingerprint;  // the file's (line_file.h)
    std::string path;
    long long offset = 0, line = 0;
};

struct LoadCounts {
    long long added = 0, updated = 0, unchanged = 0;
};

// A line the database refused (its data), left out of the load.
struct RefusedLine {
    size_t index;  // in the lines given
    std::string reason;
};

class RecordsStore {
public:
    explicit RecordsStore(std::unique_ptr<SqlConnection> connection) : sql(std::move(connection)) {}

    // Connects and makes or migrates the schema; false with the reason.
    bool Open(const std::string &url, std::string &error);
    // Whether the connection stands (false after a failure of the connection's).
    bool Connected() const { return sql->Connected(); }
    // Where the file with this fingerprint was read up to (0, 0 when never).
    bool Position(const std::string &fingerprint, FilePosition &position, std::string &error);
    // The lines and the position after them, in one transaction.
    bool Load(const std::vector<LoadLine> &lines, const FilePosition &after, LoadCounts &counts,
              std::vector<RefusedLine> &refused, std::string &error);

private:
    bool Migrate(std::string &error);
    bool LoadEach(const std::vector<LoadLine> &lines, LoadCounts &counts, std::vector<RefusedLine> &refused,
                  std::string &error);
    bool Run(const std::string &statement, const std::vector<std::string> &params, std::string &error,
             SqlResult *result = nullptr);
    void Rollback() { sql->Exec("ROLLBACK"); }

    std::unique_ptr<SqlConnection> sql;
};
