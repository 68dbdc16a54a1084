// Several devices at once: one worker process per port (zflash itself, in
// its events mode), supervised here. The workers keep the target library's
// one port per process and send their records; the supervisor writes every
// record (one writer: none lost, none twice, also for a worker that died),
// shows their progress, forwards Ctrl-C, SIGTERM and SIGHUP, puts back an
// adapter's latency timer that a dead worker left lowered, and sums up.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "app/image_step.h"
#include "app/workflows.h"
#include "tools/zflash/adapter_timer.h"
#include "tools/zflash/child.h"
#include "tools/zflash/gang_display.h"
#include "tools/zflash/gang_view.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/record.h"
#include "tools/zflash/zflash.h"

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

std::vector<std::string> WorkerArgs(const std::string &command, const GlobalOptions &g,
                                    const DeviceOptions &d, const std::string &port,
                                    const std::string &imageSha256)
{
    std::vector<std::string> args = {"--events", "--root", AppRootDir()};
    if (g.verbose)
        args.push_back("--verbose");
    if (g.timeout > 0)
        args.insert(args.end(), {"--timeout", std::to_string(g.timeout)});
    if (g.deadline > 0)
        args.insert(args.end(), {"--deadline", std::to_string(g.deadline)});
    args.insert(args.end(), {command, "--port", port});
    if (!d.image.empty())
        args.insert(args.end(), {"--image", d.image});
    if (!imageSha256.empty())  // every device gets the image that was checked here
        args.insert(args.end(), {"--image-sha256", imageSha256});
    if (!d.version.empty())
        args.insert(args.end(), {"--version", d.version});
    if (d.yes)
        args.push_back("--yes");
    if (d.skipIfCurrent)
        args.push_back("--skip-if-current");
    return args;
}

std::string Text(const nlohmann::json &j, const char *key)
{
    return j.is_object() && j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
}

bool WritesTheDevice(WorkStep step)
{
    return step == WorkStep::Erase || step == WorkStep::Program || step == WorkStep::Verify;
}

// Why a worker's session ended without its record, in a person's words.
std::string LostWorkerSentence(const std::string &port, int exitCode, int signal,
                               const std::vector<StepTime> &steps)
{
    const std::string why = "the zflash worker for " + port + " ended before its session did (" +
                            (signal > 0 ? "killed by signal " + std::to_string(signal)
                                        : "exit status " + std::to_string(exitCode)) +
                            ")";
    const WorkStep last = steps.empty() ? WorkStep::None : steps.back().step;
    if (WritesTheDevice(last))
        return why + " while the device was being written: it may be left without working firmware. Run "
                     "zflash program again to restore it.";
    for (const StepTime &s : steps)
        if (WritesTheDevice(s.step))
            return why + " after the device was written; whether it was verified is not known.";
    if (last == WorkStep::None || last == WorkStep::OpenPort || last == WorkStep::WaitDevice)
        return why + " before a device was captured: nothing was written.";
    return why + " before anything was written to the device.";
}

// An image named for every port is read and checked here once; each worker
// then writes it only when its own read has the same bytes. Empty when it
// cannot be read here (each worker then says why).
std::string CheckedImageDigest(const DeviceOptions &d)
{
    CheckedImage image;
    return !d.image.empty() && LoadCheckedImage(d.image, image) ? image.fw.sha256 : std::string();
}

// What the supervisor knows of one worker's session.
struct Session {
    std::unique_ptr<Child> child;
    nlohmann::json record;  // the worker's own, or one written in its place
    nlohmann::json sofar;   // the session as the worker last reported it
    std::vector<StepTime> steps;  // as the supervisor saw them start
    Clock::time_point stepStart;
    AdapterTimer timer;     // the adapter's timer before the worker started
};

class Gang {
public:
    Gang(const std::string &command, const GlobalOptions &g, const DeviceOptions &d, const std::string &sysfsRoot,
         ProgressStyle progress)
        : global(g), view(progress, g.json), sysfsRoot(sysfsRoot)
    {
        const std::string digest = CheckedImageDigest(d);
        for (const std::string &port : d.ports) {
            ports.push_back(GangPort{});
            ports.back().port = port;
            args.push_back(WorkerArgs(command, g, d, port, digest));
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
            Forward(TakeInterrupts());
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
        s.timer = FindAdapterTimer(ports[i].port, sysfsRoot);
        s.child.reset(new Child);
        std::string error;
        if (!s.child->Start(args[i], error)) {
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
        if (line.end) {
            Ended(line.worker);
            return;
        }
        const nlohmann::json event = nlohmann::json::parse(line.text, nullptr, false);
        if (event.is_object())
            Apply(line.worker, event);
    }

    void Ended(size_t i)
    {
        GangPort &p = ports[i];
        Session &s = sessions[i];
        p.exitCode = s.child->Wait();
        p.finished = true;
        p.seconds = Seconds();
        EndStep(i);
        if (s.record.is_null())
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
        sessions[i].record = record;
        ports[i].result = Text(record, "result");
        ports[i].before = record.contains("before") ? Text(record["before"], "version") : std::string();
        ports[i].after = record.contains("after") ? Text(record["after"], "version") : std::string();
        std::string error;
        if (global.log.empty() || AppendRecord(global.log, record, error))
            return;
        view.Problem(ports[i], "the record of this session could not be added to " + global.log + ": " + error + ".");
        recordLost[i] = true;
    }

    void EndStep(size_t i)
    {
        Session &s = sessions[i];
        if (!s.steps.empty())
            s.steps.back().seconds = std::chrono::duration<double>(Clock::now() - s.stepStart).count();
    }

    void Apply(size_t i, const nlohmann::json &e)
    {
        GangPort &p = ports[i];
        const std::string name = e.value("event", "");
        const std::string text = e.value("text", "");
        if (name == "step") {
            EndStep(i);
            const WorkStep step = StepOfName(e.value("step", ""));
            if (step != WorkStep::None && step != WorkStep::Done)
                sessions[i].steps.push_back({step, 0.0});
            sessions[i].stepStart = Clock::now();
            p.phase = PhaseOfStep(e.value("step", ""));
            p.percent = -1;
            p.bytesPerSecond = 0;
        } else if (name == "progress") {
            p.phase = e.value("phase", p.phase);
            p.percent = e.value("percent", 0);
            const double seconds = e.value("seconds", 0.0);
            p.bytesPerSecond = seconds > 0.05 ? e.value("bytes", 0.0) * p.percent / 100.0 / seconds : 0;
            view.Progress(i, p);
        } else if (name == "device") {
            p.device = e.value("label", "");
        } else if (name == "session") {
            sessions[i].sofar = e["record"];
        } else if (name == "record") {
            Keep(i, e["record"]);
        } else if (name == "log" || name == "trace") {
            view.Log(p, text);
        } else if (name == "error" || name == "warning" || name == "notice") {
            view.Problem(p, name == "warning" ? "warning: " + text : text);
        }
    }

    void Forward(int presses)
    {
        for (; presses > 0; --presses)
            for (Session &s : sessions)
                if (s.child)
                    s.child->Interrupt(Terminated());
    }

    void Tick()
    {
        for (GangPort &p : ports)
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

    GlobalOptions global;
    GangView view;
    std::string sysfsRoot;
    std::vector<GangPort> ports;
    std::vector<std::vector<std::string>> args;
    std::vector<Session> sessions;
    std::map<size_t, bool> recordLost;
    std::vector<std::thread> readers;
    LineQueue queue;
    size_t running = 0;
    Clock::time_point start = Clock::now();
};

}  // namespace

int RunGang(const std::string &command, const GlobalOptions &global, const DeviceOptions &device,
            const std::string &sysfsRoot, ProgressStyle progress)
{
    InstallInterruptHandler();
    return Gang(command, global, device, sysfsRoot, progress).Run();
}
