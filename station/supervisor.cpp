#include "station/supervisor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
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
#include "station/record_reading.h"

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

void ReadLines(WorkerProcess &worker, size_t index, LineQueue &queue)
{
    std::string pending;
    char buffer[4096];
    long n;
    while ((n = worker.Read(buffer, sizeof buffer)) > 0) {
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            queue.Push({index, pending.substr(0, end), false});
            pending.erase(0, end + 1);
        }
    }
    queue.Push({index, std::string(), true});
}

// A process of this program, in its events mode: a worker's standard input
// is a pipe (the supervisor's answers), its output the events.
class ChildWorker : public WorkerProcess {
public:
    bool Start(const std::vector<std::string> &args, std::string &error) override
    {
        ChildOptions options;
        options.in = ChildOptions::Pipe;
        return child.Start(args, error, options);
    }
    long Read(char *buffer, size_t size) override { return child.Read(buffer, size); }
    bool Write(const std::string &line) override { return child.Write(line); }
    void Interrupt(bool terminate) override { child.Interrupt(terminate); }
    void Kill() override { child.Signal(9); }
    int Wait() override { return child.Wait(); }
    int EndSignal() const override { return child.EndSignal(); }

private:
    Child child;
};

// Why a worker's session ended without its record, in a person's words.
std::string LostWorkerSentence(const std::string &port, const std::string &how, const std::vector<StepTime> &steps)
{
    const std::string why = "the zflash worker for " + port + " ended before its session did (" + how + ")";
    return EarlyEndSentence(why, steps, "Run zflash program again to restore it.");
}

std::string EndedHow(int exitCode, int signal)
{
    return signal > 0 ? "killed by signal " + std::to_string(signal)
           : exitCode < 0 ? std::string("its end is not known")
                          : "exit status " + std::to_string(exitCode);
}

// What the supervisor knows of one worker's session.
struct Session {
    std::unique_ptr<WorkerProcess> worker;
    nlohmann::json record;  // the worker's own, or one written in its place
    nlohmann::json sofar;   // the session as the worker last reported it (or its start)
    bool unitUnderWay = false;  // identified since the last record
    std::vector<StepTime> steps;  // as the supervisor saw them start
    Clock::time_point stepStart;
    AdapterTimer timer;     // the adapter's timer before the worker started
    bool recordLost = false;
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
        if (!this->settings.makeWorker)
            this->settings.makeWorker = [] { return std::unique_ptr<WorkerProcess>(new ChildWorker); };
        if (!this->settings.appendRecord) {
            const std::string log = settings.logPath;
            this->settings.appendRecord = [log](const nlohmann::json &entry, std::string &error) {
                return log.empty() || AppendRecord(log, entry, error);
            };
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
            if (settings.endingNow && settings.endingNow())
                EndNow();
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
        s.worker = settings.makeWorker();
        std::string error;
        if (!s.worker->Start(args[i], error)) {
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
        readers.emplace_back(ReadLines, std::ref(*s.worker), i, std::ref(queue));
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
        p.exitCode = s.worker->Wait();
        p.finished = true;
        p.seconds = Seconds();
        EndStep(i);
        if (settings.station ? s.unitUnderWay : s.record.is_null())
            KeepLost(i, EndedHow(p.exitCode, s.worker->EndSignal()));
        if (p.exitCode < 0 || p.exitCode > ExitRecordLost)
            p.exitCode = ExitFailed;
        RestoreTimer(i);
        --running;
        p.busy = false;
        view.Finished(p);
    }

    // The record of a session whose worker could not finish it.
    void KeepLost(size_t i, const std::string &how)
    {
        const Session &s = sessions[i];
        Keep(i, LostWorkerRecord(s.sofar, ports[i].port, LostWorkerSentence(ports[i].port, how, s.steps), s.steps,
                                 RecordContextNow(std::string())));
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

    // Appends an entry to the records; false (and the station stops taking
    // units) when it cannot.
    bool Append(size_t i, const nlohmann::json &entry)
    {
        std::string error;
        if (settings.appendRecord(entry, error))
            return true;
        sessions[i].recordLost = true;
        view.Problem(ports[i], "records cannot be written to " + settings.logPath + ": " + error +
                                   ". No more units are taken.");
        StopAll();
        return false;
    }

    // The record of a session, kept and appended to the --log file.
    void Keep(size_t i, const nlohmann::json &record)
    {
        Session &s = sessions[i];
        PortState &p = ports[i];
        s.record = record;
        s.unitUnderWay = false;
        s.steps.clear();
        p.busy = false;
        Count(i, record);
        view.Record(i, p, record);
        if (settings.observer)
            settings.observer->Recorded(i, p, record);
        Append(i, record);
        if (settings.station && settings.count > 0 && taken >= settings.count && s.worker)
            s.worker->Write("stop\n");  // the bound is reached, and this port's unit is done
    }

    // A session's start, before its worker may write the device; the
    // worker's answer is whether it is on record.
    void Started(size_t i, const nlohmann::json &start)
    {
        Session &s = sessions[i];
        s.sofar = start;
        const bool kept = start.is_object() && Append(i, start);
        s.worker->Write(kept ? "started\n" : "unrecorded the records cannot be written to " + settings.logPath + "\n");
    }

    // A port's figures from one more record. A unit that powered up again
    // in the middle of its session is no unit of its own: its next session
    // counts, and takes the place it held under a bound.
    void Count(size_t i, const nlohmann::json &record)
    {
        PortState &p = ports[i];
        const RecordReading r = ReadRecord(record);
        p.result = r.result;
        p.failureKind = r.failureKind;
        p.before = r.before;
        p.after = r.after;
        p.unitSeconds = r.seconds;
        if (!ResultIsUnit(r.result)) {
            if (r.result == "reseated" && settings.station && settings.count > 0 && taken > 0)
                --taken;
            return;
        }
        if (r.result == "ok")
            ++p.unitsOk;
        else if (r.result == "current")
            ++p.unitsCurrent;
        else
            ++p.unitsFailed;
        p.firstPass += FirstPass(r) ? 1 : 0;
    }

    // A unit identified. With a bound on the units, its worker waits for the
    // answer: "take" while the bound is not reached, else "stop" (the unit is
    // left untouched). The last unit taken stops every other port; its own
    // port stops once its record is in (should the unit power up again in
    // the middle, its place is given back and the port takes it again).
    void Taken(size_t i)
    {
        Session &s = sessions[i];
        if (!settings.station || settings.count <= 0) {
            s.unitUnderWay = true;
            ports[i].busy = true;
            return;
        }
        if (taken >= settings.count) {
            s.worker->Write("stop\n");
            return;
        }
        s.unitUnderWay = true;
        ports[i].busy = true;
        s.worker->Write("take\n");
        if (++taken < settings.count)
            return;
        for (size_t j = 0; j < sessions.size(); ++j)
            if (j != i && sessions[j].worker)
                sessions[j].worker->Write("stop\n");
    }

    // No port takes another unit; units under way are finished.
    void StopAll()
    {
        for (Session &other : sessions)
            if (other.worker)
                other.worker->Write("stop\n");
    }

    void EndStep(size_t i)
    {
        Session &s = sessions[i];
        if (!s.steps.empty())
            s.steps.back().seconds = std::chrono::duration<double>(Clock::now() - s.stepStart).count();
    }

    // A record the supervisor can count and the file can take; a worker's
    // record of another shape is replaced by one of the supervisor's.
    void KeepWorkerRecord(size_t i, const nlohmann::json &record)
    {
        if (WellFormedRecord(record)) {
            Keep(i, record);
            return;
        }
        view.Problem(ports[i], "the worker sent a record of an unexpected shape; it is recorded as a fault of zflash.");
        nlohmann::json replaced = LostWorkerRecord(sessions[i].sofar, ports[i].port,
                                                   "the zflash worker for " + ports[i].port +
                                                       " sent a record of an unexpected shape: a fault of zflash.",
                                                   sessions[i].steps, RecordContextNow(std::string()));
        replaced["result"] = "failed";
        replaced["failure"]["kind"] = "internal";
        Keep(i, replaced);
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
            p.result.clear();  // the last unit's outcome gives way to this one
            Taken(i);
            break;
        case EventKind::Adapter:
            p.adapterGone = !e.present;
            break;
        case EventKind::Session:
            if (e.record.is_object())
                sessions[i].sofar = e.record;
            break;
        case EventKind::Start:
            Started(i, e.record);
            break;
        case EventKind::Record:
            KeepWorkerRecord(i, e.record);
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
                if (s.worker)
                    s.worker->Interrupt(settings.terminated && settings.terminated());
    }

    // The process must end within seconds: no unit is finished; each under
    // way is recorded as interrupted, and every worker is stopped.
    void EndNow()
    {
        for (size_t i = 0; i < sessions.size(); ++i) {
            Session &s = sessions[i];
            if (!s.worker || ports[i].finished)
                continue;
            s.worker->Kill();
            if (settings.station ? s.unitUnderWay : s.record.is_null())
                KeepLost(i, "the system ended zflash");
            s.unitUnderWay = false;
            s.record = s.record.is_null() ? nlohmann::json::object() : s.record;
        }
    }

    void Tick()
    {
        for (PortState &p : ports)
            if (!p.finished)
                p.seconds = Seconds();
        view.Draw(ports);
        if (settings.observer)
            settings.observer->PortsNow(ports);
    }

    int Finish()
    {
        std::vector<nlohmann::json> records;
        for (const Session &s : sessions)
            records.push_back(s.record);
        view.Done(ports, records);
        int code = ExitOk;
        for (size_t i = 0; i < ports.size(); ++i) {
            code = std::max(code, ports[i].exitCode);
            if (ports[i].unitsFailed > 0)
                code = std::max(code, int(ExitFailed));
            if (sessions[i].recordLost)
                code = std::max(code, int(ExitRecordLost));
        }
        return code;
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

    SupervisorSettings settings;
    SupervisorView &view;
    std::vector<PortState> ports;
    std::vector<std::vector<std::string>> args;
    std::vector<Session> sessions;
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
