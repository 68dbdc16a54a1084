// The keyboard's decisions, without a window: which button Return presses,
// where the focus goes when its control is disabled, and the access keys.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "app/mnemonics.h"
#include "app/uistate.h"

namespace {

UiInputs State(bool capturing, bool programming, bool querying, bool portOpen)
{
    UiInputs in;
    in.capturing = capturing;
    in.programming = programming;
    in.querying = querying;
    in.portOpen = portOpen;
    in.hwKnown = portOpen;
    in.fwListEmpty = !portOpen;
    return in;
}

}  // namespace

TEST(KeyboardRules, ReturnCapturesUntilADeviceIsCapturedAndNeverPrograms)
{
    const struct {
        const char *situation;
        UiInputs in;
        bool captureIsDefault;
    } cases[] = {
        {"nothing captured", State(false, false, false, false), true},
        {"capturing", State(true, false, false, false), true},
        {"captured", State(false, false, false, true), false},
        {"querying", State(false, false, true, false), false},
        {"programming", State(false, true, false, false), false},
        {"after Disconnect", [] { UiInputs in = State(false, false, false, true); in.portOpen = false; return in; }(),
         true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ComputeUiState(c.in).captureIsDefault, c.captureIsDefault) << c.situation;
}

TEST(KeyboardRules, FocusStaysWhereChosenElseGoesToDefaultThenCancelThenTheWindow)
{
    const struct {
        bool chosen, defaultButton, cancel;
        FocusHome home;
    } cases[] = {
        {true, true, true, FocusHome::Chosen},
        {true, false, false, FocusHome::Chosen},
        {false, true, true, FocusHome::DefaultButton},
        {false, true, false, FocusHome::DefaultButton},
        {false, false, true, FocusHome::Cancel},
        {false, false, false, FocusHome::Window},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChooseFocusHome(c.chosen, c.defaultButton, c.cancel), c.home)
            << c.chosen << c.defaultButton << c.cancel;
}

TEST(KeyboardRules, EachCaptionUnderlinesItsAccessKey)
{
    const struct {
        const char *caption;
        int index;
    } cases[] = {
        {"COM Port:", 1},     {"Refresh", 0}, {"Capture Device", 0}, {"Disconnect", 0},
        {"Release Notes", 8}, {"Query", 0},   {"Firmware:", 0},      {"Program", 0},
        {"Browse...", 0},     {"Clear", 1},   {"Cancel", -1},        {"Device:", -1},
        {"(not captured)", -1}, {"capture device", -1}, {"", -1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MnemonicIndex(c.caption), c.index) << c.caption;
        // Screen readers are told the same key.
        const std::string shortcut = AccessKeyShortcut(c.caption);
        if (c.index < 0)
            EXPECT_EQ(shortcut, "") << c.caption;
        else
            EXPECT_EQ(shortcut, std::string("Alt+") +
                                    char(std::toupper(static_cast<unsigned char>(c.caption[size_t(c.index)]))))
                << c.caption;
    }
    EXPECT_EQ(AccessKeyShortcut("Clear"), "Alt+L");
    EXPECT_EQ(AccessKeyShortcut("COM Port:"), "Alt+O");
}

TEST(KeyboardRules, AnAccessKeyMatchesInEitherCaseAndNothingElse)
{
    EXPECT_TRUE(IsMnemonic("Capture Device", 'c'));
    EXPECT_TRUE(IsMnemonic("Capture Device", 'C'));
    EXPECT_TRUE(IsMnemonic("Clear", 'L'));
    EXPECT_FALSE(IsMnemonic("Clear", 'c'));
    EXPECT_FALSE(IsMnemonic("Cancel", 'c'));
    EXPECT_FALSE(IsMnemonic("Program", 0x0150));  // a letter beyond ASCII
    EXPECT_FALSE(IsMnemonic("Program", 0));
}

TEST(KeyboardRules, NoTwoCaptionsShareAnAccessKey)
{
    std::set<char> keys;
    for (const std::string &caption : MnemonicCaptions()) {
        const int at = MnemonicIndex(caption);
        ASSERT_GE(at, 0) << caption;
        const char key = char(std::tolower(static_cast<unsigned char>(caption[size_t(at)])));
        EXPECT_TRUE(keys.insert(key).second) << caption << " repeats " << key;
    }
    EXPECT_EQ(keys.size(), 10u);
}
