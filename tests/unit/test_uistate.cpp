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

namespace {

// The application state as a finished capture leaves it, with the given
// worker flags.
void SetCapturedState(bool capturing, bool programming, bool querying)
{
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
    ASSERT_TRUE(FindByHW("VKT3K", prod, hw));
    g_capturing = capturing;
    g_programming = programming;
    g_querying = querying;
    g_portOpen = true;
    g_hw = hw;
    g_fwList.assign(1, FirmwareVersion{});
    g_customLoaded = true;
    g_customValid = true;
}

void ResetState()
{
    g_capturing = g_programming = g_querying = false;
    g_portOpen = false;
    g_hw = nullptr;
    g_fwList.clear();
    g_customLoaded = g_customValid = false;
}

}  // namespace

TEST(UiState, CurrentInputsReadTheApplicationState)
{
    SetCapturedState(false, false, false);
    g_customValid = false;

    const UiInputs in = CurrentUiInputs();
    EXPECT_FALSE(in.capturing);
    EXPECT_FALSE(in.programming);
    EXPECT_FALSE(in.querying);
    EXPECT_TRUE(in.portOpen);
    EXPECT_TRUE(in.hwKnown);
    EXPECT_FALSE(in.fwListEmpty);
    EXPECT_TRUE(in.customLoaded);
    EXPECT_FALSE(in.customValid);

    ResetState();
    const UiInputs reset = CurrentUiInputs();
    EXPECT_FALSE(reset.hwKnown);
    EXPECT_TRUE(reset.fwListEmpty);
    EXPECT_FALSE(reset.portOpen);
    EXPECT_FALSE(reset.customLoaded);
}

// A worker may be writing the port flag and the firmware list meanwhile (a
// file dropped during a capture refreshes the controls): while any worker
// runs, only the flags and the window's own custom-image state are read.
TEST(UiState, WhileAWorkerRunsTheDeviceStateIsNotRead)
{
    const struct { bool capturing, programming, querying; const char *enabled; } workers[] = {
        {true, false, false, "disconnect"},
        {false, true, false, ""},
        {false, false, true, ""},
    };
    for (const auto &w : workers) {
        SetCapturedState(w.capturing, w.programming, w.querying);
        const UiInputs in = CurrentUiInputs();
        EXPECT_EQ(in.capturing, w.capturing);
        EXPECT_EQ(in.programming, w.programming);
        EXPECT_EQ(in.querying, w.querying);
        EXPECT_FALSE(in.portOpen) << w.enabled;
        EXPECT_FALSE(in.hwKnown) << w.enabled;
        EXPECT_TRUE(in.fwListEmpty) << w.enabled;
        EXPECT_TRUE(in.customLoaded);
        EXPECT_TRUE(in.customValid);
        EXPECT_EQ(Enabled(in), w.enabled);
    }
    ResetState();
}
