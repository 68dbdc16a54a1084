// The reporting seams: log lines as messages, the message sink, the
// message-box handler and the custom-image panel refresh.
#include <gtest/gtest.h>

#include "tests/support/message_recorder.h"

namespace {

TEST(AppMessages, LogPostsTheLineUnchangedWithWParamZero)
{
    MessageRecorder recorder;

    Log("  Opening COM3...: 100%");

    const std::vector<PostedMessage> all = recorder.Messages();
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ(WM_APP_LOG, all[0].msg);
    EXPECT_EQ(0u, all[0].wParam);
    ASSERT_TRUE(all[0].hasText);
    EXPECT_EQ("  Opening COM3...: 100%", all[0].text);
}

TEST(AppMessages, EachLogLineIsItsOwnHeapString)
{
    MessageRecorder recorder;

    Log("first");
    Log("");

    const std::vector<PostedMessage> all = recorder.Messages();
    ASSERT_EQ(2u, all.size());
    EXPECT_NE(all[0].lParam, 0);
    EXPECT_NE(all[1].lParam, 0);
    EXPECT_EQ("first", all[0].text);
    EXPECT_EQ("", all[1].text);
}

TEST(AppMessages, MessageNumbersFollowTheApplicationBase)
{
    EXPECT_EQ(0x8001u, WM_APP_LOG);
    EXPECT_EQ(0x8002u, WM_APP_CAPTURE_DONE);
    EXPECT_EQ(0x8003u, WM_APP_PROGRAM_DONE);
    EXPECT_EQ(0x8004u, WM_APP_QUERY_DONE);
    EXPECT_EQ(0x8005u, WM_APP_PROGRESS);
    EXPECT_EQ(0x8006u, WM_APP_ERASE_BUSY);
}

// The dropped strings are freed: the sanitizer build reports any leak.
TEST(AppMessages, ClearingTheSinkDetachesTheReceiver)
{
    MessageRecorder recorder;
    SetMessageSink(nullptr);

    Log("nobody reads this");
    PostWorkerMessage(WM_APP_QUERY_DONE, 1, reinterpret_cast<intptr_t>(new std::string("v1.0")));
    PostWorkerMessage(WM_APP_CAPTURE_DONE, 1, 0);

    EXPECT_TRUE(recorder.Messages().empty());
}

struct ShownBox {
    std::string text, caption;
    unsigned type;
};
std::vector<ShownBox> shownBoxes;

int AnswerYes(const std::string &text, const std::string &caption, unsigned type)
{
    shownBoxes.push_back({text, caption, type});
    return BoxAnswerYes;
}

TEST(AppMessageBoxes, WithoutAWindowQuestionsAreDeclinedAndNoticesTaken)
{
    SetMessageBoxHandler(nullptr);

    EXPECT_EQ(BoxAnswerNo, AppMessageBox("Program anyway?", "ZelvoFlashUpdate", BoxYesNo | BoxIconWarning));
    EXPECT_EQ(BoxAnswerOk, AppMessageBox("Failed.", "ZelvoFlashUpdate", BoxOk | BoxIconError));
}

TEST(AppMessageBoxes, InstalledHandlerSeesTextCaptionAndTypeAndAnswers)
{
    shownBoxes.clear();
    SetMessageBoxHandler(AnswerYes);

    const int answer = AppMessageBox("Program anyway?", "ZelvoFlashUpdate", BoxYesNo | BoxIconWarning);
    SetMessageBoxHandler(nullptr);

    EXPECT_EQ(BoxAnswerYes, answer);
    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ("Program anyway?", shownBoxes[0].text);
    EXPECT_EQ("ZelvoFlashUpdate", shownBoxes[0].caption);
    EXPECT_EQ(0x34u, shownBoxes[0].type);
    EXPECT_EQ(BoxAnswerNo, AppMessageBox("Again?", "ZelvoFlashUpdate", BoxYesNo));
}

int refreshCount = 0;
void CountRefresh() { ++refreshCount; }

TEST(CustomUiRefresh, CallsTheInstalledRefresherUntilItIsCleared)
{
    refreshCount = 0;
    SetCustomUiRefresher(CountRefresh);
    RefreshCustomUi();
    RefreshCustomUi();
    SetCustomUiRefresher(nullptr);
    RefreshCustomUi();

    EXPECT_EQ(2, refreshCount);
}

}  // namespace
