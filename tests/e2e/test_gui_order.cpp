// The window in orders of events nobody scripts, under Wine: a close
// question left open while its run ends, a result box left open, the window
// closed or the Windows session ended in the middle of a run or right after
// it, a file of records that cannot be written. After each, the boxes came
// one at a time, never over a window that takes input, and every run has its
// one record, written before the process ended, with the device's times.
// Each test starts its own program against a simulated VKT-3 (VKT3K) of its
// own whose erase takes 1.5 s; one that an earlier test left blank (a run
// stopped in its erase) is programmed first, so that each run erases.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <nlohmann/json.hpp>

#include "app/utf16.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"

namespace {

const std::string kTitle = "Zelvo Flash Update  v1.0";
const std::string kCloseQuestion =
    "Programming is in progress. Closing now leaves the device without working firmware.\n\nClose anyway?";
const std::string kWritten = " while the device was being written: it may be left without working firmware. "
                             "Capture it and program it again.";
const std::string kComplete = "Programming complete.";
const std::string kFailed = "Programming failed - see log for details.";

enum { IDC_INSTALLED = 1008 };

// Watches the boxes while a test waits: two boxes at once, or a box over a
// main window that takes input, held for a while (a box on its way out
// enables the window an instant before it hides).
class BoxWatch {
public:
    explicit BoxWatch(const AppSession &app) : app_(app) {}
    void Look()
    {
        const std::vector<HWND> boxes = app_.Boxes();
        Note(boxes.size() > 1, stackedSince_, stacked_);
        Note(!boxes.empty() && Enabled(app_.Main()), overEnabledSince_, overEnabled_);
    }
    bool Stacked() const { return stacked_; }
    bool OverEnabled() const { return overEnabled_; }

private:
    static void Note(bool now, ULONGLONG &since, bool &seen)
    {
        if (!now) {
            since = 0;
            return;
        }
        const ULONGLONG t = GetTickCount64();
        if (since == 0)
            since = t;
        else if (t - since >= 300)
            seen = true;
    }
    const AppSession &app_;
    ULONGLONG stackedSince_ = 0, overEnabledSince_ = 0;
    bool stacked_ = false, overEnabled_ = false;
};

class GuiOrder : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Config().orderCom.empty()) << "ZF_E2E_ORDER_COM is not set";
        ASSERT_TRUE(app.Launch(Config().appExe)) << "the main window did not appear";
        ASSERT_TRUE(app.Capture(Config().orderCom)) << app.Text(1004);
        if (app.Text(IDC_INSTALLED).rfind('v', 0) != 0) {
            // Blank: a run would not erase, and would be over too soon.
            const size_t earlier = UserRecords().size();
            ASSERT_TRUE(app.StartProgramming(2));
            HWND done = app.WaitForBox(120);
            ASSERT_NE(done, nullptr);
            AppSession::Answer(done, IDOK);
            ASSERT_TRUE(WaitFor([&] { return app.NoBoxOpen() && app.Idle(); }));
            ASSERT_TRUE(WaitFor([&] { return UserRecords().size() == earlier + 1; }));
        }
        recordsBefore = UserRecords().size();
    }

    // The box that shows one of `texts`, waited for while the boxes are
    // watched.
    HWND WaitForBoxSaying(const std::vector<std::string> &texts, BoxWatch &watch, double seconds = 120)
    {
        HWND found = nullptr;
        WaitFor([&] {
            watch.Look();
            for (HWND box : app.Boxes())
                for (const std::string &text : texts)
                    if (AppSession::BoxText(box) == text)
                        found = box;
            return found != nullptr;
        }, seconds);
        return found;
    }
    // A run's result box, whichever way it ended: on a machine loaded far
    // beyond its cores the simulated device can answer a block after the
    // host's time-out, and the run fails verification; what these tests
    // check holds either way.
    HWND WaitForResult(BoxWatch &watch) { return WaitForBoxSaying({kComplete, kFailed}, watch); }
    bool Erasing() const
    {
        return WaitFor([this] { return app.Caption() == kTitle + " - Erasing..."; }, 60);
    }
    // Programs the newest image and asks to close during its erase: the
    // question, or null when it did not come.
    HWND CloseDuringTheErase() const
    {
        if (!app.StartProgramming(0) || !Erasing())
            return nullptr;
        PostMessageW(app.Main(), WM_CLOSE, 0, 0);
        HWND question = app.WaitForBox();
        return question && AppSession::BoxText(question) == kCloseQuestion ? question : nullptr;
    }
    std::vector<nlohmann::json> NewRecords() const
    {
        const std::vector<nlohmann::json> all = UserRecords();
        return all.size() >= recordsBefore ? std::vector<nlohmann::json>(all.begin() + long(recordsBefore), all.end())
                                           : std::vector<nlohmann::json>();
    }
    bool NewRecordsCome(size_t n) const
    {
        return WaitFor([&] { return NewRecords().size() >= n; });
    }

    AppSession app;
    size_t recordsBefore = 0;
};

TEST_F(GuiOrder, AQuestionLeftOpenIsTakenAwayWhenItsRunEndsAndNeverEndsALaterRun)
{
    HWND question = CloseDuringTheErase();
    ASSERT_NE(question, nullptr) << app.Caption();

    // Left open, it goes with its run; the run's result follows it.
    BoxWatch watch(app);
    HWND done = WaitForResult(watch);
    ASSERT_NE(done, nullptr) << "no result";
    EXPECT_FALSE(IsWindow(question) && IsWindowVisible(question)) << "the question outlived its run";
    EXPECT_FALSE(watch.Stacked()) << "the result opened over the question";
    EXPECT_FALSE(watch.OverEnabled()) << "a box was left over a window that takes input";
    EXPECT_TRUE(WaitFor([&] { return !Enabled(app.Main()); })) << "the result box does not hold the window";
    AppSession::Answer(done, IDOK);
    ASSERT_TRUE(WaitFor([&] { return app.NoBoxOpen() && app.Idle(); }));
    EXPECT_TRUE(Enabled(app.Main()));

    // A Yes on the old question can no longer end anything: the next run
    // goes on to its end.
    ASSERT_TRUE(app.StartProgramming(1));
    AppSession::Answer(question, IDYES);
    HWND again = WaitForResult(watch);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(app.Alive());
    const bool ok = AppSession::BoxText(again) == kComplete;
    AppSession::Answer(again, IDOK);
    ASSERT_TRUE(NewRecordsCome(2));
    const std::vector<nlohmann::json> records = NewRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0]["result"], "interrupted");
    EXPECT_EQ(records[1]["result"], ok ? "ok" : "failed");
    if (ok) {
        EXPECT_EQ(records[1]["after"]["version"], "1.9.7");
    }
    EXPECT_FALSE(watch.Stacked());
    EXPECT_FALSE(watch.OverEnabled());
}

TEST_F(GuiOrder, StepTimesEndWithTheStepNotWithTheResultBox)
{
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(app.StartProgramming(1));
    HWND done = app.WaitForBox(120);
    ASSERT_NE(done, nullptr);
    const double run = double(GetTickCount64() - start) / 1000;
    // The operator reads the box for a while before OK.
    Sleep(4000);
    AppSession::Answer(done, IDOK);
    ASSERT_TRUE(NewRecordsCome(1));
    const nlohmann::json r = NewRecords().back();
    ASSERT_TRUE(r["seconds"].is_object()) << r.dump();
    // Measured from outside, the run took `run` seconds to its box; the
    // query after it (a fraction of a second) is the only step after that.
    const double verify = r["seconds"].value("verify", 0.0), total = r["seconds"].value("total", 0.0);
    EXPECT_LT(verify, run) << r["seconds"].dump();
    if (r["result"] == "ok") {
        EXPECT_GT(verify, 0.0) << r["seconds"].dump();
    }
    EXPECT_LT(total, run + 2) << r["seconds"].dump();
}

TEST_F(GuiOrder, ClosingInTheMiddleOfARunWritesItsInterruptedRecordBeforeTheProcessEnds)
{
    HWND question = CloseDuringTheErase();
    ASSERT_NE(question, nullptr) << app.Caption();
    AppSession::Answer(question, IDYES);
    ASSERT_TRUE(app.WaitExit(15));
    // No wait: the record was there when the process ended.
    const std::vector<nlohmann::json> records = NewRecords();
    ASSERT_EQ(records.size(), 1u);
    const nlohmann::json &r = records[0];
    EXPECT_EQ(r["result"], "interrupted");
    EXPECT_EQ(r["failure"]["kind"], "interrupted");
    EXPECT_EQ(r["failure"]["detail"], "The window was closed" + kWritten);
    EXPECT_EQ(r["after"]["version"], "");
    EXPECT_GT(r["seconds"].value("erase", 0.0) + r["seconds"].value("program", 0.0), 0.0) << r["seconds"].dump();
}

TEST_F(GuiOrder, TheSessionsEndAfterTheUserOverrodeTheBlockWritesTheRecordBeforeTheProcessEnds)
{
    ASSERT_TRUE(app.StartProgramming(0));
    ASSERT_TRUE(Erasing()) << app.Caption();
    EXPECT_EQ(SendWithin(app.Main(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    // A session's end that was called off changes nothing.
    EXPECT_EQ(SendWithin(app.Main(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF), 0);
    EXPECT_TRUE(app.Alive());
    EXPECT_TRUE(app.EnabledControls().empty()) << "the run stopped";
    // The user ended the session anyway: when the message has been handled,
    // Windows may end the process at once, so the record is in by then.
    EXPECT_EQ(SendWithin(app.Main(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
    const std::vector<nlohmann::json> records = NewRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["result"], "interrupted");
    EXPECT_EQ(records[0]["failure"]["detail"], "Windows ended the session" + kWritten);
    EXPECT_TRUE(app.WaitExit(15)) << "the window stayed after the session ended";
}

TEST_F(GuiOrder, ClosingRightAfterARunKeepsItsRecord)
{
    ASSERT_TRUE(app.StartProgramming(0));
    BoxWatch watch(app);
    HWND done = WaitForResult(watch);
    ASSERT_NE(done, nullptr);
    const bool ok = AppSession::BoxText(done) == kComplete;
    // Closed with the result box open: no question (nothing is written any
    // more), and the record, still waiting for the query, is written as it is.
    PostMessageW(app.Main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(app.WaitExit(15));
    const std::vector<nlohmann::json> records = NewRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["result"], ok ? "ok" : "failed");
    EXPECT_EQ(records[0]["image"]["version"], "1.10.3");
    EXPECT_EQ(records[0]["after"]["version"], "") << "the firmware after was never read";
}

// The records' folder replaced by a file: the record cannot be written.
class RecordsFolderBlocked {
public:
    RecordsFolderBlocked()
    {
        const std::string file = UserRecordsPath();
        folder_ = WideFromUtf8(file.substr(0, file.find_last_of('\\')));
        kept_ = folder_ + L".kept";
        moved_ = MoveFileW(folder_.c_str(), kept_.c_str()) != 0;
        HANDLE h = CreateFileW(folder_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        blocked_ = h != INVALID_HANDLE_VALUE;
        if (blocked_)
            CloseHandle(h);
    }
    ~RecordsFolderBlocked()
    {
        if (blocked_)
            DeleteFileW(folder_.c_str());
        if (moved_)
            MoveFileW(kept_.c_str(), folder_.c_str());
    }
    bool Blocked() const { return blocked_; }
    // What the system says when the file of records is opened now.
    static std::string SystemWords()
    {
        HANDLE h = CreateFileW(WideFromUtf8(UserRecordsPath()).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return "";
        }
        const DWORD code = GetLastError();
        wchar_t words[512] = L"";
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, words, 512,
                       nullptr);
        std::wstring text = words;
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
            text.pop_back();
        return Utf8FromWide(text);
    }

private:
    std::wstring folder_, kept_;
    bool moved_ = false, blocked_ = false;
};

TEST_F(GuiOrder, ARecordThatCannotBeWrittenIsShownOnceWithTheSystemsWordsAndThePath)
{
    const RecordsFolderBlocked blocked;
    ASSERT_TRUE(blocked.Blocked());
    const std::string words = RecordsFolderBlocked::SystemWords();
    ASSERT_FALSE(words.empty()) << "the file of records can be opened";
    const size_t from = app.LogLines().size();
    ASSERT_TRUE(app.StartProgramming(0));
    BoxWatch watch(app);
    HWND done = WaitForResult(watch);
    ASSERT_NE(done, nullptr);
    AppSession::Answer(done, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(done) || !IsWindowVisible(done); }));

    HWND lost = app.WaitForBox(30);
    ASSERT_NE(lost, nullptr) << "the lost record was not shown";
    const std::string text = AppSession::BoxText(lost);
    EXPECT_EQ(text.rfind("The record of the run that programmed vkt3k_fw_v1_10_3.bin on " + Config().orderCom +
                             " could not be written to " + UserRecordsPath() + ":",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(words), std::string::npos) << text << "\n(the system says: " << words << ")";
    AppSession::Answer(lost, IDOK);
    ASSERT_TRUE(WaitFor([&] { return app.NoBoxOpen(); }));
    // Once: no second box, no log line.
    EXPECT_EQ(app.WaitForBox(1.5), nullptr);
    for (const std::string &line : app.LogLinesFrom(from))
        EXPECT_EQ(line.find("record"), std::string::npos) << line;
    EXPECT_FALSE(watch.Stacked());
    EXPECT_FALSE(watch.OverEnabled());
}

}  // namespace
