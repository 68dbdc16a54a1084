#include "station/supervisor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "catalogue/hwcheck.h"
#include "devicelink/ports/adapter_timer.h"
#include "station/child.h"
#include "station/events.h"
#include "station/exitcodes.h"
#include "station/record.h"
#include "station/record_file.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Line {
    size_t worker;
    std::string text;
    bool end;  // the worker's output ended
};

// Lines from every worker's reader thread, for the main thread.
class LineQueue {
public:
    void Push(Line line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(std::move(line));
        ready.notify_one();
    }
    // Waits up to `timeout` for lines; all of them.
    std::deque<Line> Take(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait_for(lock, timeout, [this] { return !lines.empty(); });
        std::deque<Line> taken;
        taken.swap(lines);
        return taken;
    }

private:
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Line> lines;
};

void ReadLines(Child &child, size_t worker, LineQueue &queue)
{
    std::string pending;
    char buffer[4096];
    long n;
    while ((n = child.Read(buffer, sizeof buffer)) > 0) {
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            queue.Push({worker, pending.substr(0, end), false});
            pending.erase(0, end + 1);
        }
    }
    queue.Push({worker, std::string(), true});
}

std::string Text(const nlohmann::json &j, const char *key)
{
    return j.is_object() && j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
}

// Why a worker's session ended without its record, in a person's words.
std::string LostWorkerSentence(const std::string &port, int exitCode, int signal,
                               const std::vector<StepTime> &steps)
{
    const std::string why = "the zflash worker for " + port + " ended before its session did (" +
                            (signal > 0 ? "killed by signal " + std::to_string(signal)
                                        : "exit status " + std::to_string(exitCode)) +
                            ")";
    return EarlyEndSentence(why, steps, "Run zflash program again to restore it.");
}

// What the supervisor knows of one worker's session.
struct Session {
    std::unique_ptr<Child> child;
    nlohmann::json record;  // the worker's own, or one written in its place
    nlohmann::json sofar;   // the session as the worker last reported it
    bool unitUnderWay = false;  // identified since the last record
    std::vector<StepTime> steps;  // as the supervisor saw them start
    Clock::time_point stepStart;
    AdapterTimer timer;     // the adapter's timer before the worker started
};

class Supervisor {
public:
    Supervisor(const std::vector<WorkerSpec> &workers, const SupervisorSettings &settings, SupervisorView &view)
        : settings(settings), view(view)
    {
        for (const WorkerSpec &w : workers) {
            ports.push_back(PortState{});
            ports.back().port = w.port;
            args.push_back(w.args);
        }
    }

    int Run()
    {
        sessions.resize(ports.size());
        for (size_t i = 0; i < ports.size(); ++i)
            Start(i);
        while (running > 0) {
            for (Line &line : queue.Take(std::chrono::milliseconds(100)))
                Take(line);
            Forward(settings.takeInterrupts ? settings.takeInterrupts() : 0);
            Tick();
        }
        for (std::thread &t : readers)
            t.join();
        return Finish();
    }

private:
    void Start(size_t i)
    {
        Session &s = sessions[i];
        s.timer = FindAdapterTimer(ports[i].port, settings.sysfsRoot);
        s.child.reset(new Child);
        std::string error;
        ChildOptions options;
        if (settings.station)
            options.in = ChildOptions::Pipe;  // "stop": take no more units
        if (!s.child->Start(args[i], error, options)) {
            ports[i].finished = true;
            ports[i].exitCode = ExitFailed;
            view.Problem(ports[i], "could not start a worker: " + error);
            Keep(i, LostWorkerRecord(nullptr, ports[i].port, "the zflash worker for " + ports[i].port +
                                                                  " could not start (" + error + "): nothing was written.",
                                     {}, RecordContextNow(std::string())));
            return;
        }
        s.stepStart = Clock::now();
        ++running;
        readers.emplace_back(ReadLines, std::ref(*s.child), i, std::ref(queue));
    }

    void Take(const Line &line)
    {
        if (line.end)
            Ended(line.worker);
        else
            Apply(line.worker, ParseEvent(line.text));
    }

    void Ended(size_t i)
    {
        PortState &p = ports[i];
        Session &s = sessions[i];
        p.exitCode = s.child->Wait();
        p.finished = true;
        p.seconds = Seconds();
        EndStep(i);
        if (settings.station ? s.unitUnderWay : s.record.is_null())
            Keep(i, LostWorkerRecord(s.sofar, p.port, LostWorkerSentence(p.port, p.exitCode, s.child->EndSignal(), s.steps),
                                     s.steps, RecordContextNow(std::string())));
        if (p.exitCode < 0 || p.exitCode > ExitRecordLost)
            p.exitCode = ExitFailed;
        RestoreTimer(i);
        --running;
        view.Finished(p);
    }

    // A worker that died may have left its adapter's timer lowered.
    void RestoreTimer(size_t i)
    {
        const AdapterTimer &before = sessions[i].timer;
        if (before.ms <= 1 || ReadAdapterTimer(before) == before.ms)
            return;
        std::string error;
        if (!WriteAdapterTimer(before, before.ms, error))
            view.Problem(ports[i], "warning: could not put the latency timer of its adapter back to " +
                                       std::to_string(before.ms) + " ms (" + error + ").");
    }

    // The record of a session, kept and appended to the --log file.
    void Keep(size_t i, const nlohmann::json &record)
    {
        Session &s = sessions[i];
        PortState &p = ports[i];
        s.record = record;
        s.unitUnderWay = false;
        s.steps.clear();
        Count(p, record);
        view.Record(i, p, record);
        std::string error;
        if (settings.logPath.empty() || AppendRecord(settings.logPath, record, error))
            return;
        view.Problem(ports[i],
                     "the record of this session could not be added to " + settings.logPath + ": " + error + ".");
        recordLost[i] = true;
    }

    // A port's figures from one more record.
    static void Count(PortState &p, const nlohmann::json &record)
    {
        p.result = Text(record, "result");
        p.failureKind = record.contains("failure") ? Text(record["failure"], "kind") : std::string();
        p.before = record.contains("before") ? Text(record["before"], "version") : std::string();
        p.after = record.contains("after") ? Text(record["after"], "version") : std::string();
        p.unitSeconds = record.contains("seconds") ? record["seconds"].value("total", 0.0) : 0.0;
        const int attempts = record.value("attempts", 0);
        if (p.result == "ok") {
            ++p.unitsOk;
            p.firstPass += attempts <= 1 ? 1 : 0;
        } else if (p.result == "current") {
            ++p.unitsCurrent;
            ++p.firstPass;
        } else {
            ++p.unitsFailed;
        }
    }

    // A unit identified. With a bound on the units, its worker waits for the
    // answer: "take" while the bound is not reached, else "stop" (the unit is
    // left untouched). The last unit taken stops every port.
    void Taken(size_t i)
    {
        Session &s = sessions[i];
        if (!settings.station || settings.count <= 0) {
            s.unitUnderWay = true;
            return;
        }
        if (taken >= settings.count) {
            s.child->Write("stop\n");
            return;
        }
        s.unitUnderWay = true;
        s.child->Write("take\n");
        if (++taken < settings.count)
            return;
        for (Session &other : sessions)
            if (other.child)
                other.child->Write("stop\n");
    }

    void EndStep(size_t i)
    {
        Session &s = sessions[i];
        if (!s.steps.empty())
            s.steps.back().seconds = std::chrono::duration<double>(Clock::now() - s.stepStart).count();
    }

    void Apply(size_t i, const Event &e)
    {
        PortState &p = ports[i];
        switch (e.kind) {
        case EventKind::Step:
            EndStep(i);
            if (e.step != WorkStep::None && e.step != WorkStep::Done)
                sessions[i].steps.push_back({e.step, 0.0});
            sessions[i].stepStart = Clock::now();
            p.step = e.step;
            p.percent = -1;
            p.bytesPerSecond = 0;
            break;
        case EventKind::Progress:
            p.step = e.step;
            p.percent = e.percent;
            p.bytesPerSecond = e.seconds > 0.05 ? e.bytes * e.percent / 100.0 / e.seconds : 0;
            view.Progress(i, p);
            break;
        case EventKind::Device:
            p.device = ModelHW(e.product, e.hw);
            Taken(i);
            break;
        case EventKind::Adapter:
            p.adapterGone = !e.present;
            break;
        case EventKind::Session:
            sessions[i].sofar = e.record;
            break;
        case EventKind::Record:
            Keep(i, e.record);
            break;
        case EventKind::Log:
        case EventKind::Trace:
            view.Log(p, e.text);
            break;
        case EventKind::Error:
        case EventKind::Notice:
            view.Problem(p, e.text);
            break;
        case EventKind::Warning:
            view.Problem(p, "warning: " + e.text);
            break;
        case EventKind::Erase:
        case EventKind::Unknown:
            break;
        }
    }

    void Forward(int presses)
    {
        for (; presses > 0; --presses)
            for (Session &s : sessions)
                if (s.child)
                    s.child->Interrupt(settings.terminated && settings.terminated());
    }

    void Tick()
    {
        for (PortState &p : ports)
            if (!p.finished)
                p.seconds = Seconds();
        view.Draw(ports);
    }

    int Finish()
    {
        std::vector<nlohmann::json> records;
        for (const Session &s : sessions)
            records.push_back(s.record);
        view.Done(ports, records);
        int code = ExitOk;
        for (size_t i = 0; i < ports.size(); ++i)
            code = std::max(code, ports[i].exitCode == ExitOk && recordLost[i] ? int(ExitRecordLost) : ports[i].exitCode);
        return code;
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

    SupervisorSettings settings;
    SupervisorView &view;
    std::vector<PortState> ports;
    std::vector<std::vector<std::string>> args;
    std::vector<Session> sessions;
    std::map<size_t, bool> recordLost;
    int taken = 0;
    std::vector<std::thread> readers;
    LineQueue queue;
    size_t running = 0;
    Clock::time_point start = Clock::now();
};

}  // namespace

int Supervise(const std::vector<WorkerSpec> &workers, const SupervisorSettings &settings, SupervisorView &view)
{
    return Supervisor(workers, settings, view).Run();
}
