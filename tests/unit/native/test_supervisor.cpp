// The supervisor against stand-in workers that play a script of events (and
// wait for its answers where a real worker would), and a stand-in file of
// records that can refuse: what it writes, answers and returns on every path.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "station/events.h"
#include "station/record.h"
#include "station/supervisor.h"

namespace {

using nlohmann::json;

// One line a worker writes, or an answer it waits for first.
struct Beat {
    std::string emit;    // an event line
    std::string await;   // wait until the supervisor wrote this line
};

class FakeWorker : public WorkerProcess {
public:
    FakeWorker(std::vector<Beat> script, int exitCode, int signal)
        : script(std::move(script)), exitCode(exitCode), signal(signal)
    {
    }
    bool Start(const std::vector<std::string> &, std::string &error) override
    {
        error = "no such program";
        return startable;
    }
    long Read(char *buffer, size_t size) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (next < script.size()) {
            const Beat beat = script[next];
            if (!beat.await.empty()) {
                // A real worker waits for its answer; a killed one does not.
                if (!changed.wait_for(lock, std::chrono::seconds(10),
                                      [&] { return killed || Heard(beat.await); }))
                    return 0;
                if (killed)
                    return 0;
                ++next;
                continue;
            }
            ++next;
            const std::string line = beat.emit + "\n";
            EXPECT_LE(line.size(), size);
            line.copy(buffer, size);
            return long(line.size());
        }
        return 0;
    }
    bool Write(const std::string &line) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        written.push_back(line);
        changed.notify_all();
        return true;
    }
    void Interrupt(bool) override {}
    void Kill() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        killed = true;
        changed.notify_all();
    }
    int Wait() override { return signal ? -1 : exitCode; }
    int EndSignal() const override { return signal; }

    std::vector<std::string> Written()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return written;
    }
    bool startable = true;

private:
    // One of the answers `texts` (alternatives split by '|') came.
    bool Heard(const std::string &texts) const
    {
        size_t from = 0;
        for (;;) {
            const size_t bar = texts.find('|', from);
            const std::string text = texts.substr(from, bar - from);
            for (const std::string &w : written)
                if (w.compare(0, text.size(), text) == 0)
                    return true;
            if (bar == std::string::npos)
                return false;
            from = bar + 1;
        }
    }

    std::vector<Beat> script;
    size_t next = 0;
    int exitCode, signal;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> written;
    bool killed = false;
};

// The supervisor owns its workers; the test keeps them to read afterwards.
class SharedWorker : public WorkerProcess {
public:
    explicit SharedWorker(std::shared_ptr<FakeWorker> worker) : worker(std::move(worker)) {}
    bool Start(const std::vector<std::string> &args, std::string &error) override { return worker->Start(args, error); }
    long Read(char *buffer, size_t size) override { return worker->Read(buffer, size); }
    bool Write(const std::string &line) override { return worker->Write(line); }
    void Interrupt(bool terminate) override { worker->Interrupt(terminate); }
    void Kill() override { worker->Kill(); }
    int Wait() override { return worker->Wait(); }
    int EndSignal() const override { return worker->EndSignal(); }

private:
    std::shared_ptr<FakeWorker> worker;
};

class RecordingView : public SupervisorView {
public:
    void Log(const PortState &, const std::string &) override {}
    void Problem(const PortState &, const std::string &text) override { problems.push_back(text); }
    void Progress(size_t, const PortState &) override {}
    void Finished(const PortState &) override {}
    void Draw(const std::vector<PortState> &) override {}
    void Done(const std::vector<PortState> &ports, const std::vector<json> &) override { final = ports; }
    std::vector<std::string> problems;
    std::vector<PortState> final;
};

std::string Device() { Event e; e.kind = EventKind::Device; e.product = "VKT-3"; e.hw = "VKT3K"; return EventLine(e); }
std::string Step(WorkStep step) { Event e; e.kind = EventKind::Step; e.step = step; return EventLine(e); }
std::string WithRecord(EventKind kind, const json &r) { return EventLine(RecordEvent(kind, r)); }

DeviceResult Unit(const std::string &session)
{
    DeviceResult r;
    r.session = session;
    r.port = "P";
    r.device = DeviceEntry{"VKT-3", "VKT3K", "VKT3/VKT3K", 921600};
    r.image = FirmwareVersion();
    r.image->fileName = "fw.bin";
    r.image->sha256 = std::string(64, 'a');
    r.attempts = 1;
    return r;
}

json End(const std::string &session, FailureKind kind = FailureKind::None)
{
    DeviceResult r = Unit(session);
    r.failure.kind = kind;
    r.failure.message = kind == FailureKind::None ? "" : "it failed.";
    return MakeRecord(r, kind == FailureKind::None ? 0 : 1, RecordContextNow(""));
}
json Start(const std::string &session) { return MakeStartEntry(Unit(session), RecordContextNow("")); }

// A unit written to the end: device, start (awaiting the answer), programming, its end.
std::vector<Beat> WholeUnit(const std::string &session, FailureKind kind = FailureKind::None)
{
    return {{Device(), ""},
            {WithRecord(EventKind::Start, Start(session)), ""},
            {"", "started|unrecorded"},
            {Step(WorkStep::Program), ""},
            {WithRecord(EventKind::Record, End(session, kind)), ""}};
}

struct Outcome {
    int code = -1;
    std::vector<json> entries;
    std::vector<std::vector<std::string>> answers;  // what each worker was told
    RecordingView view;
};

struct Script {
    std::vector<Beat> beats;
    int exitCode = 0, signal = 0;
    bool startable = true;
};

// Runs a station (or several ports) of these workers; `refuse`: which
// appended entries the file refuses (by their event).
void Supervised(const std::vector<Script> &scripts, Outcome &run, bool station = true, int count = 0,
                const std::string &refuse = "")
{
    std::vector<std::shared_ptr<FakeWorker>> made;
    size_t index = 0;
    SupervisorSettings settings;
    settings.logPath = "records.jsonl";
    settings.station = station;
    settings.count = count;
    settings.makeWorker = [&]() {
        const Script &s = scripts.at(index++);
        auto w = std::make_shared<FakeWorker>(s.beats, s.exitCode, s.signal);
        w->startable = s.startable;
        made.push_back(w);
        return std::unique_ptr<WorkerProcess>(new SharedWorker(w));
    };
    settings.appendRecord = [&](const json &entry, std::string &error) {
        if (!refuse.empty() && (refuse == "all" || EntryEvent(entry) == refuse)) {
            error = "No space left on device";
            return false;
        }
        run.entries.push_back(entry);
        return true;
    };
    std::vector<WorkerSpec> specs;
    for (size_t i = 0; i < scripts.size(); ++i)
        specs.push_back({"P" + std::to_string(i), {}});
    run.code = Supervise(specs, settings, run.view);
    for (const auto &w : made)
        run.answers.push_back(w->Written());
}

std::vector<json> Ends(const Outcome &run)
{
    std::vector<json> ends;
    for (const json &e : run.entries)
        if (EntryEvent(e) == "end")
            ends.push_back(e);
    return ends;
}

bool Told(const std::vector<std::string> &answers, const std::string &prefix)
{
    for (const std::string &a : answers)
        if (a.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

TEST(Supervisor, AWorkerKilledMidUnitLeavesItsStartAndAnInterruptedEndOfTheSameSession)
{
    const std::string id(32, 'b');
    json sofar = End(id);
    sofar["attempts"] = 1;
    Outcome run;
    Supervised({{{{Device(), ""},
                  {WithRecord(EventKind::Start, Start(id)), ""},
                  {"", "started"},
                  {WithRecord(EventKind::Session, sofar), ""},
                  {Step(WorkStep::Erase), ""},
                  {Step(WorkStep::Program), ""}},
                 -1,
                 9}},
               run);
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_EQ(EntryEvent(run.entries[0]), "start");
    const json &end = run.entries[1];
    EXPECT_EQ(end["session"], id);
    EXPECT_EQ(end["result"], "interrupted");
    EXPECT_EQ(end["attempts"], 1);
    const std::string detail = end["failure"]["detail"];
    EXPECT_NE(detail.find("killed by signal 9"), std::string::npos) << detail;
    EXPECT_NE(detail.find("being written"), std::string::npos) << detail;
    EXPECT_EQ(run.code, 1);
}

TEST(Supervisor, RecordsOfAnUnexpectedShapeAreCountedAsFaultsNotACrash)
{
    json wrongType = End(std::string(32, 'c'));
    wrongType["attempts"] = "2";
    Outcome run;
    Supervised({{{{Device(), ""}, {R"({"event":"record"})", ""}, {Device(), ""}, {WithRecord(EventKind::Record, wrongType), ""}},
                 0,
                 0}},
               run);
    const std::vector<json> ends = Ends(run);
    ASSERT_EQ(ends.size(), 2u);
    for (const json &e : ends) {
        EXPECT_EQ(e["result"], "failed");
        EXPECT_EQ(e["failure"]["kind"], "internal");
    }
    EXPECT_EQ(run.view.final.at(0).unitsFailed, 2);
    EXPECT_EQ(run.code, 1);  // the exit code agrees with the summary, whatever the worker said
}

TEST(Supervisor, ARecordsFileThatRefusesStopsEveryPortAtOnceAndEndsInCode5)
{
    for (const std::string refused : {"start", "end"}) {
        SCOPED_TRACE(refused);
        Outcome run;
        Supervised({{WholeUnit(std::string(32, 'd')), 0, 0}, {{{Device(), ""}}, 0, 0}}, run, true, 0, refused);
        EXPECT_EQ(run.code, 5);
        for (const auto &answers : run.answers)
            EXPECT_TRUE(Told(answers, "stop")) << "every port stops taking units";
        if (refused == "start") {
            EXPECT_TRUE(Told(run.answers[0], "unrecorded ")) << "the worker learns its start is not on record";
        }
        ASSERT_FALSE(run.view.problems.empty());
        EXPECT_NE(run.view.problems[0].find("No space left on device"), std::string::npos);
    }
}

TEST(Supervisor, TheBoundOnUnitsGrantsExactlyCountAndAReseatedSessionGivesItsPlaceBack)
{
    Outcome run;
    std::vector<Beat> first = {{Device(), ""}, {"", "take"},
                               {WithRecord(EventKind::Record, End(std::string(32, 'e'), FailureKind::Reseated)), ""},
                               {Device(), ""}, {"", "take"}};
    for (const Beat &b : WholeUnit(std::string(32, 'f')))
        if (b.emit != Device())
            first.push_back(b);
    Supervised({{first, 0, 0}}, run, true, 1);
    const std::vector<std::string> &answers = run.answers.at(0);
    EXPECT_EQ(std::count(answers.begin(), answers.end(), "take\n"), 2) << "the re-seated unit's place is given back";
    EXPECT_EQ(run.view.final.at(0).unitsOk, 1);
    EXPECT_EQ(run.view.final.at(0).unitsFailed, 0) << "a re-seat is no unit of its own";
    EXPECT_EQ(run.code, 0);

    // The second port identifies its unit once the first took the only one.
    Outcome bounded;
    Supervised({{{{Device(), ""}, {"", "take"}}, 0, 0}, {{{"", "stop"}, {Device(), ""}}, 0, 0}}, bounded, true, 1);
    const std::vector<std::string> &second = bounded.answers.at(1);
    EXPECT_FALSE(Told(second, "take"));
    EXPECT_EQ(std::count(second.begin(), second.end(), "stop\n"), 2) << "told to stop, and refused its unit";
}

TEST(Supervisor, AWorkerThatCannotStartHasItsRecordAndFailsTheRun)
{
    Outcome run;
    Script s;
    s.startable = false;
    Supervised({s}, run, false);
    const std::vector<json> ends = Ends(run);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]["result"], "interrupted");
    EXPECT_EQ(run.code, 1);
}

}  // namespace
