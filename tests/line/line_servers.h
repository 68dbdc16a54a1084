// The real servers of a line, each started by the test in a folder of its own
// and ended with it, on free ports of 127.0.0.1: PostgreSQL 15 (initdb and
// pg_ctl, as the unprivileged user "nobody" when the tests run as root) and
// Prometheus.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/eventually.h"

using Rows = std::vector<std::vector<std::string>>;

// A port of 127.0.0.1 that nothing listens on now.
int FreePort();
// `sh -c command`; its exit status, its standard output and error in `output`.
int Shell(const std::string &command, std::string *output = nullptr);

// A server's state, polled every 50 ms (each look is a query) for up to `limit`.
template <class Condition>
bool Within(std::chrono::milliseconds limit, Condition holds)
{
    return Eventually(holds, limit, std::chrono::milliseconds(50));
}

class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();  // stops it and removes its folder
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // The first start makes the cluster (initdb); false with the server's log in `error`.
    bool Start(std::string &error);
    bool Stop();
    // A new, empty database; its URL.
    std::string NewDatabase(const std::string &name);
    std::string Url(const std::string &database) const;
    // The rows of `sql` as text (NULL as ""); a failure fails the test and gives none.
    Rows Query(const std::string &url, const std::string &sql) const;

private:
    std::string As(const std::string &command) const;  // run as the server's user

    std::filesystem::path dir;
    std::string bin;  // PostgreSQL's programs
    int port = 0;
    bool made = false, running = false;
};

class PrometheusServer {
public:
    ~PrometheusServer();
    // Scrapes `target` (host:port) every `interval`; false with its log in `error`.
    bool Start(const std::string &target, const std::string &interval, std::string &error);
    // An instant query's result (the "data" member of the answer), null on failure.
    nlohmann::json Query(const std::string &promql) const;

private:
    std::filesystem::path dir;
    int port = 0;
    int pid = -1;
};

// Every test's temporary folder, under the system's, removed by its owner.
std::filesystem::path TestFolder(const std::string &name);

// The one PostgreSQL server of the test program, started on first use and
// stopped when the program ends.
PostgresServer &SharedPostgres();
