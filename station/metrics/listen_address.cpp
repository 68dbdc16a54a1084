#include "station/metrics/listen_address.h"

#include <cctype>

bool ParseListenAddress(const std::string &text, ListenAddress &address, std::string &error)
{
    const size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos || host.find('[') != std::string::npos) {
        error = "an IPv6 address goes in brackets: [::1]:9400";
        return false;
    }
    bool digits = !port.empty() && port.size() <= 5;
    for (char c : port)
        digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits || std::stoi(port) > 65535) {
        error = "takes ADDRESS:PORT or PORT, with a port from 0 to 65535";
        return false;
    }
    address.host = host.empty() ? "127.0.0.1" : host;
    address.port = std::stoi(port);
    return true;
}

std::string ListenAddressText(const ListenAddress &address)
{
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}
