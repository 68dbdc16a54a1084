#include "tools/zflash/records/ingest.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "station/exitcodes.h"
#include "tools/zflash/output.h"
#include "tools/zflash/records/line_file.h"
#include "tools/zflash/records/record_entry.h"

namespace {

constexpr size_t kBatch = 500;  // lines a transaction

struct Totals {
    long long lines = 0, bad = 0;
    LoadCounts counts;
};

std::string Plural(long long n, const std::string &one, const std::string &many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class Ingest {
public:
    Ingest(const IngestOptions &options, RecordsStore &store, int (*takeInterrupts)())
        : options(options), store(store), takeInterrupts(takeInterrupts)
    {
        for (const std::string &path : options.files)
            files.emplace_back(new Followed(path));
    }

    int Run()
    {
        std::string error;
        if (!options.follow) {
            if (!store.Open(options.url, error)) {
                PrintError("cannot load records into the database: " + error);
                return ExitFailed;
            }
            return Once();
        }
        connected = store.Open(options.url, error);
        if (!connected)
            Away(error);
        while (!Stopped()) {
            if (!connected) {
                Reconnect();
                continue;
            }
            bool busy = false;
            for (const std::unique_ptr<Followed> &f : files) {
                const Outcome o = Step(*f);
                if (o == Outcome::DatabaseFailed) {
                    connected = false;
                    Away(failure);
                    break;
                }
                busy = busy || o == Outcome::Loaded;
            }
            if (!busy)
                Sleep(options.pollSeconds);
        }
        for (const std::unique_ptr<Followed> &f : files)
            Summary(*f);
        return ExitOk;
    }

private:
    struct Followed {
        explicit Followed(const std::string &path) : file(path) {}
        LineFile file;
        std::string fingerprint;  // of the open file, once known
        bool positioned = false;  // read from where the database says
        bool rotating = false;    // its path names another file: read once more, then finished
        bool missingTold = false;
        Totals totals;
    };
    enum class Outcome { Idle, Loaded, DatabaseFailed };

    // Every file once, to its last complete line.
    int Once()
    {
        int code = ExitOk;
        for (const std::unique_ptr<Followed> &f : files) {
            std::string error;
            if (!f->file.Open(error)) {
                PrintError(error + ".");
                code = std::max(code, int(ExitBadInput));
                continue;
            }
            Outcome o;
            while ((o = Step(*f)) == Outcome::Loaded && !Stopped()) {
            }
            if (o == Outcome::DatabaseFailed) {
                PrintError("loading " + f->file.Path() + " into the database failed: " + failure);
                return ExitFailed;
            }
            if (f->file.HasPartial())
                PrintNotice(f->file.Path() + ": its last line has no line end yet: left for the next load.");
            Summary(*f);
            if (Stopped())
                return ExitNoDevice;
        }
        return code;
    }

    // One batch of a file's lines into the database, or what it waits for.
    Outcome Step(Followed &f)
    {
        if (!f.file.IsOpen() && !OpenFollowed(f))
            return Outcome::Idle;
        if (!f.positioned && !Position(f))
            return f.fingerprint.empty() ? Outcome::Idle : Outcome::DatabaseFailed;
        bool truncated = false;
        const long long offset = f.file.Offset(), line = f.file.Line();
        std::vector<FileLine> lines = f.file.Read(kBatch, &truncated);
        if (truncated)
            PrintWarning(f.file.Path() + " is shorter than where it was read to: read again from its start.");
        if (!lines.empty()) {
            if (Load(f, lines))
                return Outcome::Loaded;
            f.file.Seek(offset, line);
            return Outcome::DatabaseFailed;
        }
        if (!options.follow)
            return Outcome::Idle;
        if (f.rotating) {
            Finish(f);
            return Outcome::Loaded;
        }
        // Rotated: a writer that still has it open may add a last line;
        // it is read once more at the next look.
        f.rotating = f.file.Rotated();
        return Outcome::Idle;
    }

    bool OpenFollowed(Followed &f)
    {
        std::string error;
        if (f.file.Open(error)) {
            f.missingTold = false;
            return true;
        }
        if (!f.missingTold)
            PrintNotice(error + ": waiting for it.");
        f.missingTold = true;
        return false;
    }

    // The position in the file from the database; false while the file has
    // no first line yet (fingerprint empty) or when the database failed.
    bool Position(Followed &f)
    {
        f.fingerprint = f.file.Fingerprint();
        if (f.fingerprint.empty())
            return false;
        FilePosition at;
        if (!store.Position(f.fingerprint, at, failure))
            return false;
        f.file.Seek(at.offset, at.line);
        f.positioned = true;
        return true;
    }

    bool Load(Followed &f, const std::vector<FileLine> &lines)
    {
        std::vector<LoadLine> loads;
        std::vector<long long> numbers;  // of the lines loaded
        std::vector<std::pair<long long, std::string>> bad;  // line number, why
        for (const FileLine &l : lines) {
            RecordEntry e = l.overlong ? RecordEntry() : ReadRecordEntry(l.text);
            if (l.overlong)
                e.problem = "longer than " + std::to_string(LineFile::kMaxLine) + " bytes";
            if (!e.problem.empty())
                bad.emplace_back(l.number, e.problem);
            else {
                loads.push_back({e.session, std::move(e.entry), f.file.Path() + ":" + std::to_string(l.number)});
                numbers.push_back(l.number);
            }
        }
        const FilePosition after{f.fingerprint, f.file.Path(), lines.back().end, lines.back().number};
        LoadCounts counts;
        std::vector<RefusedLine> refused;
        if (!store.Load(loads, after, counts, refused, failure))
            return false;
        for (const RefusedLine &r : refused)
            bad.emplace_back(numbers[r.index], "refused by the database (" + r.reason + ")");
        std::sort(bad.begin(), bad.end());
        for (const auto &[number, why] : bad)
            PrintWarning(f.file.Path() + ":" + std::to_string(number) + ": " + why + "; skipped.");
        Totals &t = f.totals;
        t.lines += static_cast<long long>(lines.size());
        t.bad += static_cast<long long>(bad.size());
        t.counts.added += counts.added;
        t.counts.updated += counts.updated;
        t.counts.unchanged += counts.unchanged;
        if (options.follow && (counts.added > 0 || counts.updated > 0))
            PrintLog(f.file.Path() + ": lines " + std::to_string(lines.front().number) + "-" +
                     std::to_string(lines.back().number) + ": " + Plural(counts.added, "session", "sessions") +
                     " added, " + std::to_string(counts.updated) + " updated.");
        return true;
    }

    // A rotated file read to its end: the file now at its path is next.
    void Finish(Followed &f)
    {
        if (f.file.HasPartial())
            PrintWarning(f.file.Path() + ":" + std::to_string(f.file.Line() + 1) +
                         ": the rotated file ends in a line without its end; skipped.");
        PrintLog(f.file.Path() + " was rotated: read to its line " + std::to_string(f.file.Line()) +
                 "; reading the new " + f.file.Path() + ".");
        f.file.Close();
        f.fingerprint.clear();
        f.positioned = false;
        f.rotating = false;
    }

    void Summary(const Followed &f)
    {
        const Totals &t = f.totals;
        PrintLog(f.file.Path() + ": " + Plural(t.lines, "line", "lines") + " read, " +
                 Plural(t.counts.added, "session", "sessions") + " added, " + std::to_string(t.counts.updated) +
                 " updated, " + std::to_string(t.counts.unchanged) + " loaded before, " +
                 Plural(t.bad, "line", "lines") + " skipped.");
    }

    // The database failed: said once, then tried again ever less often.
    void Away(const std::string &error)
    {
        if (!absent)
            PrintWarning("the database is away (" + error + "): trying again every " +
                         std::to_string(int(options.maxBackoffSeconds)) + " s at most.");
        absent = true;
    }

    void Reconnect()
    {
        Sleep(backoff);
        backoff = std::min(backoff * 2, options.maxBackoffSeconds);
        if (Stopped())
            return;
        std::string error;
        if (!store.Open(options.url, error))
            return;
        PrintNotice("the database is back.");
        connected = true;
        absent = false;
        backoff = 0.5;
        for (const std::unique_ptr<Followed> &f : files)
            f->positioned = false;  // where the database says: what it committed
    }

    // Waits, and notices Ctrl-C and SIGTERM meanwhile.
    void Sleep(double seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!Stopped() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    bool Stopped()
    {
        if (!stopped && takeInterrupts && takeInterrupts() > 0)
            stopped = true;
        return stopped;
    }

    const IngestOptions &options;
    RecordsStore &store;
    int (*takeInterrupts)();
    std::vector<std::unique_ptr<Followed>> files;
    std::string failure;  // the database's last failure
    bool connected = false, absent = false, stopped = false;
    double backoff = 0.5;
};

}  // namespace

int IngestRecords(const IngestOptions &options, RecordsStore &store, int (*takeInterrupts)())
{
    return Ingest(options, store, takeInterrupts).Run();
}
