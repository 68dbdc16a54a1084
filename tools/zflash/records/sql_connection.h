// A connection to the records' database, as the loading needs it: run a
// statement (with text parameters), get its rows as text. libpq on Linux
// (sql_connection_libpq.cpp, the one file that knows it); another platform
// brings its own file.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct SqlResult {
    bool ok = false;
    std::string error;     // the server's or the library's message
    std::string sqlState;  // SQLSTATE of a refused statement ("22P02"); empty when the connection failed
    std::vector<std::vector<std::string>> rows;
};

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // `url`: postgresql://USER@HOST:PORT/DB or "host=... dbname=...". False
    // with the reason (never the password).
    virtual bool Connect(const std::string &url, std::string &error) = 0;
    // Whether the connection still stands (after a failure: false when it was the connection's).
    virtual bool Connected() const = 0;
    // Without parameters the text may hold several statements.
    virtual SqlResult Exec(const std::string &sql, const std::vector<std::string> &params = {}) = 0;
};

std::unique_ptr<SqlConnection> NewSqlConnection();
// Whether this build has a database client at all; empty, or why not.
std::string SqlClientMissing();
