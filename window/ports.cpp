// The serial ports the system knows of, and the COM port list that shows
// them in zflash's order (COM2 before COM10). At start the list selects the
// port a device was captured on last time, when it is there; it refills
// itself when a port arrives or leaves (a USB serial adapter plugged in or
// pulled), and when Refresh is pressed, keeping the selected port when it is
// still there.
#include <algorithm>

#include "devicelink/ports/ports.h"
#include "devicelink/ports/serialcomm.h"
#include "app/portchoice.h"
#include "window/window.h"
// needs windows.h first
#include <dbt.h>

namespace {

// The port a capture was started on, until it ends.
std::string capturePort;

// The device interface class of serial ports (GUID_DEVINTERFACE_COMPORT):
// USB serial adapters announce their ports through it.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// Several device messages come for one adapter: one refill after they end.
const UINT kSettleMs = 250;

void FillPortList(const std::vector<std::string> &preferred)
{
    SendMessageA(g_portCombo, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> ports = EnumerateComPorts();
    for (const std::string &port : ports)
        AddComboEntry(g_portCombo, port);
    const int index = ChoosePort(ports, preferred);
    if (index >= 0)
        SendMessageA(g_portCombo, CB_SETCURSEL, WPARAM(index), 0);
}

std::string SelectedPort()
{
    const LRESULT sel = SendMessageA(g_portCombo, CB_GETCURSEL, 0, 0);
    return sel == CB_ERR ? "" : ComboEntryText(g_portCombo, int(sel));
}

}  // namespace

std::vector<std::string> EnumerateComPorts()
{
    std::vector<std::string> ports;
    for (const ComPortEntry &entry : ReadSerialCommKey())
        ports.push_back(entry.name);
    std::stable_sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

void RefreshPortList()
{
    FillPortList({SelectedPort()});
}

void FillPortListAtStart()
{
    FillPortList({LoadLastPort()});
}

void ListenForPortChanges(HWND hwnd)
{
    // Windows tells every top-level window of serial ports that come and
    // go; adapters whose drivers register the interface are told here too.
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void SchedulePortRefresh()
{
    SetTimer(g_hwnd, kPortRefreshTimer, kSettleMs, nullptr);
}

void OnPortRefreshTimer()
{
    // An open list would close under the operator's hand: later.
    if (SendMessageA(g_portCombo, CB_GETDROPPEDSTATE, 0, 0))
        return;
    KillTimer(g_hwnd, kPortRefreshTimer);
    FillPortList({SelectedPort(), LoadLastPort()});
}

void NoteCapturePort(const std::string &port)
{
    capturePort = port;
}

std::string RememberCapturePort()
{
    std::string port;
    port.swap(capturePort);
    if (!port.empty())
        SaveLastPort(port);
    return port;
}
