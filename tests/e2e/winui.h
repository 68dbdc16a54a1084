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

// The window that has the keyboard focus in `window`'s thread (null when
// none has).
HWND FocusOf(HWND window);
// A key pressed and released as the keyboard would deliver it to `target`
// (the focused window of the program's thread): WM_KEYDOWN and WM_KEYUP, or
// with Alt held WM_SYSKEYDOWN and WM_SYSKEYUP. Posted; the program's own
// message loop translates them (characters, access keys, dialog keys).
void PostKey(HWND target, UINT vk, bool alt = false);
// SendMessageTimeoutW: the result, or `failed` when the window did not answer.
LRESULT SendWithin(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT failed = -1);

// Polls `cond` every 20 ms until it holds or `seconds` have passed.
bool WaitFor(const std::function<bool()> &cond, double seconds = 30);
