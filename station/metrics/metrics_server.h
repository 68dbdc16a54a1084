// Serves GET /metrics over HTTP (cpp-httplib; Winsock on Windows) on threads
// of its own while a station runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "station/metrics/listen_address.h"

namespace httplib {
class Server;
}

class MetricsServer {
public:
    MetricsServer();
    ~MetricsServer();  // stops it
    MetricsServer(const MetricsServer &) = delete;
    MetricsServer &operator=(const MetricsServer &) = delete;

    // Takes the address (port 0: a free one, then in `address`); false with
    // the reason when it cannot.
    bool Bind(ListenAddress &address, std::string &error);
    // Answers every scrape with `exposition()`, until Stop.
    void Start(const std::function<std::string()> &exposition);
    void Stop();

private:
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> ended{false};  // the server's loop returned
};

// The text format's content type.
extern const char *const kMetricsContentType;
