#include <gtest/gtest.h>

#include <string>

#include "app/appstate.h"
#include "app/uistate.h"

namespace {

// Names of the enabled controls, in the order the window applies them.
std::string Enabled(const UiInputs &in)
{
    const UiEnables e = ComputeUiState(in);
    const struct { bool on; const char *name; } rows[] = {
        {e.portCombo, "port"}, {e.portRefresh, "refresh"}, {e.capture, "capture"},
        {e.disconnect, "disconnect"}, {e.query, "query"}, {e.notes, "notes"},
        {e.fwCombo, "fwlist"}, {e.browse, "browse"}, {e.clear, "clear"}, {e.program, "program"},
    };
    std::string names;
    for (const auto &r : rows)
        if (r.on)
            names += names.empty() ? r.name : std::string(" ") + r.name;
    return names;
}

UiInputs Captured()
{
    UiInputs in;
    in.portOpen = true;
    in.hwKnown = true;
    in.fwListEmpty = false;
    return in;
}

}  // namespace

TEST(UiState, AtStartUpOnlyPortSelectionCaptureAndBrowseAreEnabled)
{
    UiInputs in;
    EXPECT_EQ(Enabled(in), "port refresh capture browse");
    EXPECT_STREQ(ComputeUiState(in).disconnectCaption, "Disconnect");
}

TEST(UiState, ACustomImageBeforeAnyCaptureEnablesClearButNotProgram)
{
    UiInputs in;
    in.customLoaded = true;
    EXPECT_EQ(Enabled(in), "port refresh capture browse clear");
}

TEST(UiState, WhileCapturingOnlyCancelIsEnabled)
{
    UiInputs in = Captured();
    in.customLoaded = true;
    in.customValid = true;
    in.capturing = true;
    EXPECT_EQ(Enabled(in), "disconnect");
    EXPECT_STREQ(ComputeUiState(in).disconnectCaption, "Cancel");
}

TEST(UiState, WhileQueryingEveryControlIsDisabledDisconnectIncluded)
{
    UiInputs in = Captured();
    in.querying = true;
    EXPECT_EQ(Enabled(in), "");
    EXPECT_STREQ(ComputeUiState(in).disconnectCaption, "Disconnect");
}

TEST(UiState, WhileProgrammingEveryControlIsDisabled)
{
    UiInputs in = Captured();
    in.customLoaded = true;
    in.programming = true;
    EXPECT_EQ(Enabled(in), "");
}

TEST(UiState, CapturedWithoutCustomImageEnablesEverythingButClear)
{
    EXPECT_EQ(Enabled(Captured()), "port refresh capture disconnect query notes fwlist browse program");
}

TEST(UiState, CapturedWithoutImagesKeepsTheListAndProgramDisabled)
{
    UiInputs in = Captured();
    in.fwListEmpty = true;
    EXPECT_EQ(Enabled(in), "port refresh capture disconnect query notes browse");
}

TEST(UiState, AMatchingCustomImageDisablesTheListAndEnablesProgramAndClear)
{
    UiInputs in = Captured();
    in.customLoaded = true;
    in.customValid = true;
    EXPECT_EQ(Enabled(in), "port refresh capture disconnect query notes browse clear program");
}

TEST(UiState, ANonMatchingCustomImageKeepsProgramDisabled)
{
    UiInputs in = Captured();
    in.customLoaded = true;
    EXPECT_EQ(Enabled(in), "port refresh capture disconnect query notes browse clear");
}

TEST(UiState, AMatchingCustomImageNeedsNoListedImagesToProgram)
{
    UiInputs in = Captured();
    in.fwListEmpty = true;
    in.customLoaded = true;
    in.customValid = true;
    EXPECT_EQ(Enabled(in), "port refresh capture disconnect query notes browse clear program");
}

TEST(UiState, AfterDisconnectTheListAndNotesStayWhileProgramAndQueryGo)
{
    UiInputs in = Captured();
    in.portOpen = false;
    EXPECT_EQ(Enabled(in), "port refresh capture notes fwlist browse");
}

TEST(UiState, AfterDisconnectWithACustomImageClearStaysAndTheListIsOff)
{
    UiInputs in = Captured();
    in.portOpen = false;
    in.customLoaded = true;
    in.customValid = true;
    EXPECT_EQ(Enabled(in), "port refresh capture notes browse clear");
}

TEST(UiState, AFailedCaptureWithAKnownDeviceEnablesReleaseNotesOnly)
{
    UiInputs in;
    in.hwKnown = true;
    EXPECT_EQ(Enabled(in), "port refresh capture notes browse");
}

TEST(UiState, ClearingTheCustomImageEnablesTheListAgainWhenItHasEntries)
{
    UiInputs in = Captured();
    in.customLoaded = true;
    EXPECT_EQ(Enabled(in).find("fwlist"), std::string::npos);
    in.customLoaded = false;
    EXPECT_NE(Enabled(in).find("fwlist"), std::string::npos);
}

TEST(UiState, CancelCaptionFollowsTheCapturingFlagOnly)
{
    UiInputs in;
    in.capturing = true;
    in.querying = true;
    EXPECT_STREQ(ComputeUiState(in).disconnectCaption, "Cancel");
    in.capturing = false;
    in.programming = true;
    EXPECT_STREQ(ComputeUiState(in).disconnectCaption, "Disconnect");
}

TEST(UiState, CurrentInputsReadTheApplicationState)
{
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
    ASSERT_TRUE(FindByHW("VKT3K", prod, hw));
    g_capturing = false;
    g_programming = true;
    g_querying = false;
    g_portOpen = true;
    g_hw = hw;
    g_fwList.assign(1, FirmwareVersion{});
    g_customLoaded = true;
    g_customValid = false;

    const UiInputs in = CurrentUiInputs();
    EXPECT_FALSE(in.capturing);
    EXPECT_TRUE(in.programming);
    EXPECT_FALSE(in.querying);
    EXPECT_TRUE(in.portOpen);
    EXPECT_TRUE(in.hwKnown);
    EXPECT_FALSE(in.fwListEmpty);
    EXPECT_TRUE(in.customLoaded);
    EXPECT_FALSE(in.customValid);

    g_programming = false;
    g_portOpen = false;
    g_hw = nullptr;
    g_fwList.clear();
    g_customLoaded = false;
    const UiInputs reset = CurrentUiInputs();
    EXPECT_FALSE(reset.hwKnown);
    EXPECT_TRUE(reset.fwListEmpty);
    EXPECT_FALSE(reset.portOpen);
}
