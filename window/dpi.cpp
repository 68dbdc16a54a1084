// The DPI a window is shown at and sizes for it. The program declares
// per-monitor DPI awareness; the functions that tell a window's own DPI
// came with Windows 10 and are looked up at run time, so the program still
// starts where they are missing (it then follows the system's DPI).
#include "app/dpiscale.h"
#include "window/window.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI *)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI *)(RECT *, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI *)(int, UINT);

template <typename Fn>
Fn User32(const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int MetricForDpi(int index, UINT dpi)
{
    static const auto forDpi = User32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

HICON LoadAppIcon(int size)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

void ReplaceIcon(HWND hwnd, WPARAM which, HICON icon)
{
    HICON old = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_SETICON, which, LPARAM(icon)));
    if (old && old != icon)
        DestroyIcon(old);
}

}  // namespace

UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND hwnd)
{
    static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = forWindow ? forWindow(hwnd) : 0;
    return dpi ? dpi : SystemDpi();
}

SIZE OuterSizeForDpi(int width, int height, DWORD style, UINT dpi)
{
    static const auto adjust = User32<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rc = {0, 0, ScaleFrom96(width, dpi), ScaleFrom96(height, dpi)};
    if (!adjust || !adjust(&rc, style, FALSE, 0, dpi))
        AdjustWindowRectEx(&rc, style, FALSE, 0);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void FitClientArea(HWND hwnd, int width, int height, UINT dpi)
{
    RECT client, outer;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &outer);
    const int dx = ScaleFrom96(width, dpi) - client.right;
    const int dy = ScaleFrom96(height, dpi) - client.bottom;
    if (dx == 0 && dy == 0)
        return;
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetWindowIcons(HWND hwnd, UINT dpi)
{
    ReplaceIcon(hwnd, ICON_BIG, LoadAppIcon(MetricForDpi(SM_CXICON, dpi)));
    ReplaceIcon(hwnd, ICON_SMALL, LoadAppIcon(MetricForDpi(SM_CXSMICON, dpi)));
}
