#include "station/metrics/metrics_server.h"

#include <chrono>

#include <httplib.h>

const char *const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

MetricsServer::MetricsServer() : server(new httplib::Server)
{
    // Scrapes come one at a time, every few seconds: two threads are plenty
    // (the library's default is one per core, at least eight).
    server->new_task_queue = [] { return new httplib::ThreadPool(2); };
    server->set_keep_alive_max_count(20);
}

MetricsServer::~MetricsServer() { Stop(); }

bool MetricsServer::Bind(ListenAddress &address, std::string &error)
{
    if (address.port == 0) {
        const int port = server->bind_to_any_port(address.host);
        if (port > 0) {
            address.port = port;
            return true;
        }
    } else if (server->bind_to_port(address.host, address.port)) {
        return true;
    }
    error = "cannot serve metrics on " + ListenAddressText(address) +
            ": the port is taken, or the address is not one of this computer's";
    return false;
}

void MetricsServer::Start(const std::function<std::string()> &exposition)
{
    server->Get("/metrics", [exposition](const httplib::Request &, httplib::Response &response) {
        response.set_content(exposition(), kMetricsContentType);
    });
    thread = std::thread([this] {
        server->listen_after_bind();
        ended = true;
    });
}

void MetricsServer::Stop()
{
    if (!thread.joinable())
        return;
    // A stop before the loop runs would go unheard: wait for it to run.
    while (!server->is_running() && !ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->stop();
    thread.join();
}
