// Access keys of the main window: the letter of a caption that Alt (or the
// letter alone while a button has the focus) presses or focuses, shown
// underlined. The captions themselves carry no marker, so every text reads
// exactly as it is written.
#pragma once

#include <string>
#include <vector>

// Index of the access key's character in `caption`, -1 when it has none.
int MnemonicIndex(const std::string &caption);
// True when typing `key` (either case) is `caption`'s access key.
bool IsMnemonic(const std::string &caption, unsigned key);
// The access key as screen readers name it ("Alt+C"); "" when it has none.
std::string AccessKeyShortcut(const std::string &caption);
// The captions that have an access key.
std::vector<std::string> MnemonicCaptions();
