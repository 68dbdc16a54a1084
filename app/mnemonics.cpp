// The main window's access keys. A label's key focuses the control created
// right after it; a button's key presses the button. "Cancel" has none:
// Escape cancels a capture.
#include "app/mnemonics.h"

#include <cctype>

namespace {

struct Mnemonic {
    const char *caption;
    char key;  // its first occurrence, in either case, is underlined
};

const Mnemonic kMnemonics[] = {
    {"COM Port:", 'o'}, {"Refresh", 'r'},  {"Capture Device", 'c'}, {"Disconnect", 'd'},
    {"Release Notes", 'n'}, {"Query", 'q'}, {"Firmware:", 'f'},     {"Program", 'p'},
    {"Browse...", 'b'},  {"Clear", 'l'},
};

char Lower(unsigned c)
{
    return c < 0x80 ? char(std::tolower(int(c))) : '\0';
}

}  // namespace

int MnemonicIndex(const std::string &caption)
{
    for (const Mnemonic &m : kMnemonics) {
        if (caption != m.caption)
            continue;
        for (size_t i = 0; i < caption.size(); i++)
            if (Lower(static_cast<unsigned char>(caption[i])) == m.key)
                return int(i);
    }
    return -1;
}

bool IsMnemonic(const std::string &caption, unsigned key)
{
    const int at = MnemonicIndex(caption);
    return at >= 0 && key != 0 && Lower(key) == Lower(static_cast<unsigned char>(caption[size_t(at)]));
}

std::string AccessKeyShortcut(const std::string &caption)
{
    const int at = MnemonicIndex(caption);
    if (at < 0)
        return std::string();
    return std::string("Alt+") + char(std::toupper(static_cast<unsigned char>(caption[size_t(at)])));
}

std::vector<std::string> MnemonicCaptions()
{
    std::vector<std::string> captions;
    for (const Mnemonic &m : kMnemonics)
        captions.push_back(m.caption);
    return captions;
}
