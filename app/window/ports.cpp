// The serial ports the system knows of, and the COM port list that shows them.
#include "devicelink/ports/serialcomm.h"
#include "app/window/window.h"

std::vector<std::string> EnumerateComPorts()
{
    std::vector<std::string> ports;
    for (const ComPortEntry &entry : ReadSerialCommKey())
        ports.push_back(entry.name);
    return ports;
}

void RefreshPortList()
{
    SendMessageA(g_portCombo, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> ports = EnumerateComPorts();
    for (const std::string &port : ports)
        AddComboEntry(g_portCombo, port);
    if (!ports.empty())
        SendMessageA(g_portCombo, CB_SETCURSEL, 0, 0);
}
