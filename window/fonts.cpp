// The two fonts of the windows, made for the DPI a window is shown at: the
// stock dialog font (Windows made it for the system's DPI) and the log's
// Consolas of 12 pixels at 96 DPI. Each DPI's fonts are made once and kept
// for the whole run, as g_monoFont is.
#include <map>

#include "app/dpiscale.h"
#include "window/window.h"

HFONT CreateMonoFont(UINT dpi)
{
    return CreateFontW(ScaleFrom96(-12, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                       L"Consolas");
}

HFONT DialogFont(UINT dpi)
{
    HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    static const UINT systemDpi = SystemDpi();
    if (dpi == systemDpi)
        return stock;
    static std::map<UINT, HFONT> made;
    HFONT &font = made[dpi];
    if (!font) {
        LOGFONTW lf = {};
        GetObjectW(stock, sizeof lf, &lf);
        lf.lfHeight = MulDiv(lf.lfHeight, int(dpi), int(systemDpi));
        font = CreateFontIndirectW(&lf);
    }
    return font ? font : stock;
}

HFONT MonoFont(UINT dpi)
{
    if (dpi == kBaseDpi)
        return g_monoFont;
    static std::map<UINT, HFONT> made;
    HFONT &font = made[dpi];
    if (!font)
        font = CreateMonoFont(dpi);
    return font ? font : g_monoFont;
}
