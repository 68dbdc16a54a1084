// Where the metrics are served: --metrics ADDRESS:PORT, [IPv6]:PORT, :PORT
// or PORT (127.0.0.1 unless an address is given; port 0: any free one).
#pragma once

#include <string>

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

// False with the reason when `text` names no address and port.
bool ParseListenAddress(const std::string &text, ListenAddress &address, std::string &error);
// host:port, [host]:port for IPv6.
std::string ListenAddressText(const ListenAddress &address);
