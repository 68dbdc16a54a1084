// The window in a random order of events, under Wine, against a simulated
// VKT-3 (VKT3K) whose counters the test reads from the simulator itself:
// captures, cancels and disconnects, programming runs, closes answered Yes
// or No at once or late, result boxes dismissed at random times, the end of
// the Windows session asked for, called off or carried out, ports coming and
// going. After every step: the program runs unless something was allowed to
// end it (a Yes about the run under way, the session's end, a close while
// nothing was written); every run has exactly one record, in order, whose
// result agrees with what the simulated device went through; no box is left
// over a main window that takes input, and no two boxes are open at once.
//
// The seed is printed; ZF_E2E_RANDOM_SEED=N replays it and
// ZF_E2E_RANDOM_STEPS=N runs longer (default 300 steps, about a minute and a half).
#include <gtest/gtest.h>

#include <windows.h>
// needs windows.h first
#include <dbt.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/utf16.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"

namespace {

const std::string kCloseQuestion =
    "Programming is in progress. Closing now leaves the device without working firmware.\n\nClose anyway?";
const char *const kVersions[] = {"1.10.3", "1.9.7", "1.2.0"};  // the first three images listed
const std::string kNothingWritten = " before anything was written to the device.";

unsigned long EnvNumber(const wchar_t *name, unsigned long otherwise)
{
    wchar_t value[32] = L"";
    if (!GetEnvironmentVariableW(name, value, 32) || !value[0])
        return otherwise;
    return std::wcstoul(value, nullptr, 10);
}

// What the simulated device has been through, as it counts it.
struct Device {
    unsigned programPasses = 0, verifyPasses = 0, verifyFailures = 0;
    std::string version;
};

unsigned Field(const std::string &line, const std::string &key, std::string *text = nullptr)
{
    const size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return 0;
    const size_t from = at + key.size() + 2;
    const std::string value = line.substr(from, line.find(' ', from) - from);
    if (text)
        *text = value;
    return unsigned(std::strtoul(value.c_str(), nullptr, 10));
}

// Asks the simulator for its counters (its control FIFO) and reads them from
// what it prints.
bool ReadDevice(Device &device)
{
    const auto unitLines = [] {
        std::ifstream in(Config().randomOut);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("zsim: unit ", 0) == 0 && line.find(" hw=") != std::string::npos)
                lines.push_back(line);
        return lines;
    };
    const size_t before = unitLines().size();
    HANDLE fifo = CreateFileW(WideFromUtf8(Config().randomControl).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (fifo == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(fifo, "stats\n", 6, &written, nullptr);
    CloseHandle(fifo);
    std::vector<std::string> lines;
    if (!WaitFor([&] { return (lines = unitLines()).size() > before; }, 10))
        return false;
    const std::string &last = lines.back();
    device.programPasses = Field(last, "program-passes");
    device.verifyPasses = Field(last, "verify-passes");
    device.verifyFailures = Field(last, "verify-failures");
    Field(last, "version", &device.version);
    return true;
}

struct Run {
    std::string version;  // of the image it programs
    Device before;        // the device when it started
    bool resultShown = false;
};

class RandomSession {
public:
    RandomSession(unsigned seed) : rng_(seed) {}

    void Start()
    {
        recordsBase_ = UserRecords().size();
        Launch();
    }

    // One random step and the checks after it.
    void Step(unsigned long n)
    {
        if (exited_) {
            exited_ = false;
            return Launch();
        }
        const std::vector<std::string> actions = Choices();
        const std::string &action = actions[Pick(actions.size())];
        Note("#" + std::to_string(n) + " " + action);
        Do(action);
        if (!testing::Test::HasFatalFailure())
            Check();
    }

    // Brings every run to its end and closes the program.
    void Finish()
    {
        Note("finish");
        if (exited_)
            return;
        for (int i = 0; i < 200 && app_->Alive(); i++) {
            if (HWND box = OpenBox()) {
                AppSession::Answer(box, AppSession::BoxText(box) == kCloseQuestion ? IDNO : IDOK);
                WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10);
                continue;
            }
            if (app_->Idle() && app_->NoBoxOpen())
                break;
            Sleep(100);
        }
        if (app_->Alive()) {
            ASSERT_TRUE(Settle());
            PostMessageW(app_->Main(), WM_CLOSE, 0, 0);
            ASSERT_TRUE(app_->WaitExit(15)) << "an idle window did not close";
        }
        OnExit();
    }

    std::string Trail() const
    {
        std::string t;
        for (const std::string &s : trail_)
            t += "\n  " + s;
        return t + (app_ && app_->Alive() ? State() : "\n  (the program has ended)");
    }
    // What the random order came to.
    std::string Tally() const
    {
        std::ostringstream t;
        t << runs_.size() << " runs, " << starts_ << " starts of the program, " << questions_ << " close questions ("
          << late_ << " left open, " << takenAway_ << " answered after their run had taken them away), " << results_
          << " result boxes dismissed, " << sessionEnds_ << " session ends, " << loadFailures_ << " runs failed";
        return t.str();
    }

private:
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    void Note(const std::string &what)
    {
        char at[32];
        std::snprintf(at, sizeof at, "%7.2f s  ", double(GetTickCount64() - start_) / 1000);
        trail_.push_back(at + what);
        if (trail_.size() > 40)
            trail_.pop_front();
    }

    HWND OpenBox() const
    {
        const std::vector<HWND> boxes = app_->Boxes();
        return boxes.empty() ? nullptr : boxes.front();
    }
    // What the program shows, for a failure's message.
    std::string State() const
    {
        std::string s = "\n  window " + std::string(IsWindow(app_->Main()) ? "there" : "gone") + ", caption \"" +
                        app_->Caption() + "\", enabled: " + app_->EnabledControls() + ", boxes:";
        for (HWND box : app_->Boxes())
            s += " \"" + AppSession::BoxText(box) + "\"";
        const std::vector<std::string> log = app_->LogLines();
        for (size_t i = log.size() > 4 ? log.size() - 4 : 0; i < log.size(); i++)
            s += "\n  log: " + log[i];
        return s;
    }
    // A capture has ended and the query after a successful one too.
    bool CaptureSettled() const
    {
        const std::string device = app_->Text(1004), installed = app_->Text(1008);
        if (device == "Detecting..." || !app_->Idle())
            return false;
        return device == "(capture failed)" || (installed != "(unknown)" && installed != "Querying...");
    }
    bool ResultShown() const
    {
        for (HWND box : app_->Boxes()) {
            const std::string text = AppSession::BoxText(box);
            if (text == "Programming complete." || text == "Programming failed - see log for details.")
                return true;
        }
        return false;
    }
    bool QuestionOpen() const { return question_ && IsWindow(question_) && IsWindowVisible(question_); }

    // The actions that make sense now, some more than once (more likely).
    std::vector<std::string> Choices() const
    {
        std::vector<std::string> c = {"wait", "wait", "wait", "close", "queryend", "devicechange"};
        HWND box = OpenBox();
        if (question_)  // open, or taken away with its run
            c.insert(c.end(), {"answer", "answer"});
        if (box && AppSession::BoxText(box) != kCloseQuestion)
            c.insert(c.end(), {"dismiss", "dismiss", "dismiss"});
        if (!box && Enabled(app_->Control(1003)))
            c.insert(c.end(), {"capture", "capture", "capture"});
        if (!box && Enabled(app_->Control(1006)))
            c.insert(c.end(), {"program", "program", "program", "program", "program", "program", "program"});
        if (!box && Enabled(app_->Control(1010)))
            c.push_back("disconnect");
        if (!box && app_->EnabledControls().empty())  // a run (or a query) under way
            c.insert(c.end(), {"close", "close", "queryend"});
        return c;
    }

    void Do(const std::string &action)
    {
        if (action == "wait")
            Sleep(50 + DWORD(Pick(1200)));
        else if (action == "capture")
            Capture();
        else if (action == "program")
            Program();
        else if (action == "disconnect")
            Disconnect();
        else if (action == "close")
            Close();
        else if (action == "answer")
            Answer(Chance(0.5));
        else if (action == "dismiss")
            Dismiss();
        else if (action == "queryend")
            QueryEnd();
        else if (action == "devicechange") {
            EXPECT_EQ(SendWithin(app_->Main(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), TRUE);
        }
    }

    void Launch()
    {
        Note("start the program");
        starts_++;
        app_.reset(new AppSession);
        question_ = nullptr;
        ASSERT_TRUE(app_->Launch(Config().appExe)) << "the main window did not appear";
    }

    void Capture()
    {
        if (!SelectComboText(app_->Control(1001), Config().randomCom))
            return;
        const size_t from = app_->LogLines().size();
        Click(app_->Control(1003));
        if (Chance(0.25)) {
            // Cancelled while it waits, or disconnected once it is done.
            Note("  and cancel");
            Click(app_->Control(1010));
        }
        // Begun (its first line), then over with the query after it; a run's
        // result box that came first takes the click.
        EXPECT_TRUE(WaitFor([&] {
            return !app_->Alive() || OpenBox() || app_->LogHas("Opening " + Config().randomCom + "...", from);
        })) << "the capture did not start" << State();
        EXPECT_TRUE(WaitFor([&] { return !app_->Alive() || OpenBox() || CaptureSettled(); }, 60))
            << "the capture hangs" << State();
    }

    void Disconnect()
    {
        const size_t from = app_->LogLines().size();
        Click(app_->Control(1010));
        EXPECT_TRUE(WaitFor([&] {
            return !app_->Alive() || OpenBox() ||
                   app_->LogHas("COM port released. The port is now free for a terminal program.", from) ||
                   app_->LogHas("Cancelling capture...", from);
        })) << "Disconnect did nothing" << State();
    }

    void Program()
    {
        // A run's result box that came after the choice holds its record
        // back (the query after it reads the new firmware): no Program then.
        if (!Settle(true)) {
            Note("  a box came first");
            return;
        }
        ASSERT_FALSE(testing::Test::HasFailure());
        Run run;
        const int index = int(Pick(3));
        run.version = kVersions[index];
        ASSERT_TRUE(ReadDevice(run.before)) << "the simulator does not answer";
        Note("  image " + run.version);
        const size_t from = app_->LogLines().size();
        if (!app_->StartProgramming(index, 5)) {
            // The query after a run's result box may have taken the window
            // just before the click (a click on a control that is off is
            // dropped); a box may have come.
            ASSERT_TRUE(!app_->Alive() || OpenBox() || app_->LogHas("Querying installed firmware...", from))
                << "the run did not start" << State();
            Note("  the click came too late");
            return;
        }
        runs_.push_back(run);
    }

    void Close()
    {
        const bool asked = QuestionOpen();
        PostMessageW(app_->Main(), WM_CLOSE, 0, 0);
        HWND box = nullptr;
        // With a question open, this close waits for its answer: nothing
        // happens. Otherwise the window closes, or asks when a run writes.
        WaitFor([&] {
            if (!app_->Alive())
                return true;
            box = OpenBox();
            return !asked && box && AppSession::BoxText(box) == kCloseQuestion;
        }, asked ? 1 : 10);
        if (!app_->Alive())
            return ExpectExit("closed");
        if (asked)
            return;
        ASSERT_TRUE(box && AppSession::BoxText(box) == kCloseQuestion) << "a close did nothing" << State();
        question_ = box;
        questionRun_ = runs_.size();
        questions_++;
        if (Chance(0.35)) {
            Note("  left open");
            late_++;
            return;
        }
        Answer(Chance(0.5));
    }

    void Answer(bool yes)
    {
        Note(yes ? "  Yes" : "  No");
        const bool open = QuestionOpen();
        const bool itsRunEnded = questionRun_ == 0 || runs_[questionRun_ - 1].resultShown;
        AppSession::Answer(question_, yes ? IDYES : IDNO);
        if (!open) {
            // Taken away with its run: a click on nothing, which ends nothing.
            takenAway_++;
            question_ = nullptr;
            EXPECT_FALSE(app_->WaitExit(0.3)) << "a Yes about a run that had ended ended the program";
            return;
        }
        ASSERT_TRUE(WaitFor([&] { return !app_->Alive() || !QuestionOpen(); }, 15)) << "the answer was not taken";
        // A Yes ends the program, unless the run it asked about ended just
        // before: then that run's result follows.
        if (yes) {
            EXPECT_TRUE(WaitFor([&] { return !app_->Alive() || ResultShown(); }, 15)) << "Yes changed nothing";
        }
        if (!app_->Alive()) {
            EXPECT_TRUE(yes) << "No ended the program";
            EXPECT_FALSE(itsRunEnded) << "a Yes about a run that had ended ended the program";
            return ExpectExit("Yes");
        }
        question_ = nullptr;
    }

    void Dismiss()
    {
        HWND box = OpenBox();
        if (!box || AppSession::BoxText(box) == kCloseQuestion)
            return;
        const std::string text = AppSession::BoxText(box);
        Note("  " + text);
        results_++;
        const size_t from = app_->LogLines().size();
        AppSession::Answer(box, IDOK);
        WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box) || !app_->Alive(); }, 10);
        // After a success the query reads the new firmware.
        if (text == "Programming complete.")
            WaitFor([&] { return !app_->Alive() || OpenBox() || (app_->LogHas("Querying installed firmware...", from) && app_->Idle()); }, 10);
    }

    void QueryEnd()
    {
        SendWithin(app_->Main(), WM_QUERYENDSESSION, 0, 0);
        EXPECT_TRUE(app_->Alive()) << "asking ended the program";
        if (Chance(0.3)) {
            Note("  the session's end called off");
            EXPECT_EQ(SendWithin(app_->Main(), WM_ENDSESSION, FALSE, 0), 0);
        } else if (Chance(0.15)) {
            Note("  the session ends");
            sessionEnds_++;
            SendWithin(app_->Main(), WM_ENDSESSION, TRUE, 0);
            // Its records were written before the message returned.
            EXPECT_EQ(NewRecords().size(), runs_.size()) << "a run has no record when the session ended";
            ASSERT_TRUE(app_->WaitExit(15)) << "the program stayed after the session ended";
            ExpectExit("the session ended");
        }
    }

    std::vector<nlohmann::json> NewRecords() const
    {
        const std::vector<nlohmann::json> all = UserRecords();
        return all.size() > recordsBase_ ? std::vector<nlohmann::json>(all.begin() + long(recordsBase_), all.end())
                                         : std::vector<nlohmann::json>();
    }

    // The program ended, as allowed: every run has its record already, and
    // only a Yes ends a run by closing the window.
    void ExpectExit(const std::string &why)
    {
        Note("  ended: " + why);
        const size_t before = checked_;
        OnExit();
        const std::vector<nlohmann::json> records = NewRecords();
        if (why != "Yes" && records.size() > before) {
            const std::string detail = records.back()["failure"]["detail"];
            EXPECT_NE(detail.rfind("The window was closed", 0), 0u) << "a close without Yes ended a run: " << detail;
        }
    }

    void OnExit()
    {
        ASSERT_TRUE(app_->WaitExit(15));
        const std::vector<nlohmann::json> records = NewRecords();
        ASSERT_EQ(records.size(), runs_.size()) << "a run has no record, or one has two, when the program ended";
        CheckNewestRecords(records);
        question_ = nullptr;
        exited_ = true;
    }

    // While the program runs, no run is under way and no box is open: every
    // run has its record (the writer may still be at it), each checked
    // against the device. False when a box opened meanwhile (`boxMayCome`)
    // or a check failed.
    bool Settle(bool boxMayCome = false)
    {
        std::vector<nlohmann::json> records;
        bool boxCame = false;
        if (!WaitFor([&] {
                boxCame = boxMayCome && OpenBox();
                return boxCame || (records = NewRecords()).size() >= runs_.size();
            }, 15)) {
            ADD_FAILURE() << records.size() << " records for " << runs_.size() << " runs" << State();
            return false;
        }
        if (boxCame)
            return false;
        EXPECT_EQ(records.size(), runs_.size()) << "more records than runs";
        CheckNewestRecords(records);
        return !testing::Test::HasFailure();
    }

    // The records not yet checked; the device's state is the last run's.
    void CheckNewestRecords(const std::vector<nlohmann::json> &records)
    {
        Device now;
        const bool read = checked_ < records.size() && ReadDevice(now);
        for (; checked_ < records.size() && checked_ < runs_.size(); checked_++) {
            const nlohmann::json &r = records[checked_];
            const Run &run = runs_[checked_];
            const std::string which = "run " + std::to_string(checked_ + 1) + " (" + run.version + "): " + r.dump();
            EXPECT_EQ(r["image"]["version"], run.version) << which;
            if (checked_ + 1 != runs_.size())
                continue;  // the device has been through later runs since
            ASSERT_TRUE(read) << "the simulator does not answer";
            const bool changed = now.programPasses > run.before.programPasses || now.version != run.before.version;
            if (r["result"] == "ok") {
                EXPECT_EQ(now.version, run.version) << which;
                EXPECT_GT(now.verifyPasses, run.before.verifyPasses) << which;
                const std::string after = r["after"]["version"];
                EXPECT_TRUE(after.empty() || after == run.version) << which;
            } else if (r["result"] == "interrupted") {
                const std::string detail = r["failure"]["detail"];
                if (changed) {
                    EXPECT_EQ(detail.find(kNothingWritten), std::string::npos)
                        << "the device was written, the record says not: " << which << " device " << now.version;
                }
            } else if (r["result"] == "failed") {
                // On a machine loaded far beyond its cores the simulated
                // device can answer a block after the host's time-out, and
                // verification fails: then the device counted that failure.
                if (r["failure"]["kind"] == "verify-mismatch") {
                    EXPECT_GT(now.verifyFailures, run.before.verifyFailures) << which;
                }
                loadFailures_++;
            } else {
                ADD_FAILURE() << "a run ended so: " << which;
            }
        }
    }

    // After every step.
    void Check()
    {
        if (exited_)
            return;
        if (!app_->Alive()) {
            ADD_FAILURE() << "the program ended by itself";
            return;
        }
        if (!runs_.empty() && ResultShown())
            runs_.back().resultShown = true;
        if (app_->Boxes().size() > 1) {
            EXPECT_TRUE(WaitFor([&] { return app_->Boxes().size() <= 1; }, 0.3)) << "two boxes at once";
        }
        HWND over = app_->BoxOverEnabledMain();
        EXPECT_EQ(over, nullptr) << "a box over a window that takes input: " << (over ? AppSession::BoxText(over) : "");
        EXPECT_LE(NewRecords().size(), runs_.size()) << "a record without a run";
    }

    std::mt19937 rng_;
    std::unique_ptr<AppSession> app_;
    std::vector<Run> runs_;
    size_t recordsBase_ = 0, checked_ = 0;
    HWND question_ = nullptr;
    size_t questionRun_ = 0;  // 1-based index of the run it asked about
    bool exited_ = false;     // the program ended as allowed: started again next
    unsigned starts_ = 0, questions_ = 0, late_ = 0, takenAway_ = 0, results_ = 0, sessionEnds_ = 0, loadFailures_ = 0;
    std::deque<std::string> trail_;
    const ULONGLONG start_ = GetTickCount64();
};

TEST(GuiRandom, EveryOrderOfEventsKeepsTheRunsRecordsAndBoxesTrue)
{
    ASSERT_FALSE(Config().randomCom.empty()) << "ZF_E2E_RANDOM_COM is not set";
    const unsigned seed = unsigned(EnvNumber(L"ZF_E2E_RANDOM_SEED", GetTickCount() ^ GetCurrentProcessId()));
    const unsigned long steps = EnvNumber(L"ZF_E2E_RANDOM_STEPS", 300);
    std::printf("GuiRandom: seed %u, %lu steps (ZF_E2E_RANDOM_SEED=%u replays it)\n", seed, steps, seed);
    std::fflush(stdout);
    RandomSession session(seed);
    session.Start();
    for (unsigned long step = 1; step <= steps && !HasFailure(); step++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
        session.Step(step);
        if (HasFailure())
            ADD_FAILURE() << "seed " << seed << " failed at step " << step << "; the last steps:" << session.Trail();
    }
    if (!HasFailure()) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", at the end");
        session.Finish();
    }
    std::printf("GuiRandom: seed %u: %s\n", seed, session.Tally().c_str());
}

}  // namespace
