// Reading and working another process's windows: texts, enabled states,
// combo boxes, clicks, and waiting for a condition.
#pragma once

#include <windows.h>
// These need windows.h first.
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

// A window's text as UTF-8, and setting it from UTF-8.
std::string WindowText(HWND hwnd);
void SetText(HWND hwnd, const std::string &text);
bool Enabled(HWND hwnd);
LONG Style(HWND hwnd);
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
// Posted, so a command that opens a modal box does not block the driver.
void Click(HWND button);
// Selects entry `index` and tells the parent, as a user's choice would.
void SelectComboEntry(HWND combo, int index);
// Selects the entry that reads `text` the same way and waits until the
// selection took; false when no entry reads so.
bool SelectComboText(HWND combo, const std::string &text);
// Index of `item` in `items`, or -1.
int IndexOf(const std::vector<std::string> &items, const std::string &item);
std::vector<std::string> SplitLines(const std::string &text);

// Polls `cond` every 20 ms until it holds or `seconds` have passed.
bool WaitFor(const std::function<bool()> &cond, double seconds = 30);
