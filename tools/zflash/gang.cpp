// Several devices at once: one worker process per port (zflash itself, in
// its events mode), supervised here. The workers keep the target library's
// one port per process; they write their own records. The supervisor shows
// their progress, forwards Ctrl-C, SIGTERM and SIGHUP, and sums up.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "app/workflows.h"
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
                                    const DeviceOptions &d, const std::string &port)
{
    std::vector<std::string> args = {"--events", "--root", AppRootDir()};
    if (g.verbose)
        args.push_back("--verbose");
    if (g.timeout > 0)
        args.insert(args.end(), {"--timeout", std::to_string(g.timeout)});
    if (g.deadline > 0)
        args.insert(args.end(), {"--deadline", std::to_string(g.deadline)});
    if (!g.log.empty())
        args.insert(args.end(), {"--log", g.log});
    args.insert(args.end(), {command, "--port", port});
    if (!d.image.empty())
        args.insert(args.end(), {"--image", d.image});
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

// A worker that ended without its record (it could not start, or it was
// killed): the supervisor writes one in its place.
nlohmann::json RecordInPlace(const GangPort &p, const std::string &why, const GlobalOptions &g)
{
    DeviceResult device;
    device.port = p.port;
    device.failure.kind = FailureKind::Internal;
    device.failure.message = why;
    nlohmann::json record =
        MakeRecord(device, p.exitCode > 0 ? p.exitCode : ExitFailed, RecordContextNow(std::string()));
    std::string error;
    if (!g.log.empty())
        AppendRecord(g.log, record, error);
    return record;
}

class Gang {
public:
    Gang(const std::string &command, const GlobalOptions &g, const DeviceOptions &d, ProgressStyle progress)
        : global(g), view(progress, g.json)
    {
        for (const std::string &port : d.ports) {
            ports.push_back(GangPort{});
            ports.back().port = port;
            args.push_back(WorkerArgs(command, g, d, port));
        }
    }

    int Run()
    {
        children.resize(ports.size());
        records.resize(ports.size());
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
        children[i].reset(new Child);
        std::string error;
        if (!children[i]->Start(args[i], error)) {
            ports[i].finished = true;
            ports[i].exitCode = ExitFailed;
            Keep(i, RecordInPlace(ports[i], "the worker could not start: " + error, global));
            view.Problem(ports[i], "could not start a worker: " + error);
            return;
        }
        ++running;
        readers.emplace_back(ReadLines, std::ref(*children[i]), i, std::ref(queue));
    }

    void Take(const Line &line)
    {
        GangPort &p = ports[line.worker];
        if (line.end) {
            p.exitCode = children[line.worker]->Wait();
            p.finished = true;
            p.seconds = Seconds();
            if (records[line.worker].is_null())
                Keep(line.worker, RecordInPlace(p, "the worker ended without a record (exit status " +
                                                       std::to_string(p.exitCode) + ")",
                                                global));
            --running;
            view.Finished(p);
            return;
        }
        const nlohmann::json event = nlohmann::json::parse(line.text, nullptr, false);
        if (event.is_object())
            Apply(line.worker, event);
    }

    void Keep(size_t i, const nlohmann::json &record)
    {
        records[i] = record;
        ports[i].result = Text(record, "result");
        ports[i].before = record.contains("before") ? Text(record["before"], "version") : std::string();
        ports[i].after = record.contains("after") ? Text(record["after"], "version") : std::string();
    }

    void Apply(size_t i, const nlohmann::json &e)
    {
        GangPort &p = ports[i];
        const std::string name = e.value("event", "");
        const std::string text = e.value("text", "");
        if (name == "step") {
            p.phase = PhaseOfStep(e.value("step", ""));
            p.percent = -1;
            p.bytesPerSecond = 0;
        } else if (name == "progress") {
            p.phase = e.value("phase", p.phase);
            p.percent = e.value("percent", 0);
            const double seconds = e.value("seconds", 0.0);
            p.bytesPerSecond = seconds > 0.05 ? e.value("bytes", 0.0) * p.percent / 100.0 / seconds : 0;
        } else if (name == "device") {
            p.device = e.value("label", "");
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
            for (auto &child : children)
                if (child)
                    child->Interrupt(Terminated());
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
        view.Done(ports, records);
        int code = ExitOk;
        for (const GangPort &p : ports)
            code = std::max(code, p.exitCode < 0 ? int(ExitFailed) : p.exitCode);
        return code;
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

    GlobalOptions global;
    GangView view;
    std::vector<GangPort> ports;
    std::vector<std::vector<std::string>> args;
    std::vector<std::unique_ptr<Child>> children;
    std::vector<nlohmann::json> records;
    std::vector<std::thread> readers;
    LineQueue queue;
    size_t running = 0;
    Clock::time_point start = Clock::now();
};

}  // namespace

int RunGang(const std::string &command, const GlobalOptions &global, const DeviceOptions &device,
            ProgressStyle progress)
{
    InstallInterruptHandler();
    return Gang(command, global, device, progress).Run();
}
