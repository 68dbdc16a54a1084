#include "tools/zflash/output.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "devicelink/comport.h"
#include "station/events.h"
#include "targetlib/capture.h"
#include "tools/zflash/json_writer.h"
#include "tools/zflash/terminal.h"
#include "tools/zflash/terminal_text.h"

namespace {

std::mutex mutex;
OutputMode mode = OutputMode::Text;
std::vector<std::string> logLines;
std::vector<std::string> warnings;
std::string firstError;
size_t liveWidth = 0;  // characters of the live line on the terminal; 0: none
bool finished = false;
std::atomic<FILE *> traceStream{nullptr};
std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
CommandResult *inProgress = nullptr;

// Callers hold the mutex.
void EndLiveLocked()
{
    if (liveWidth == 0)
        return;
    std::fputc('\n', stderr);
    liveWidth = 0;
}

// A stream that stopped taking output (a reader that went away, a full
// disk) is noted; the job goes on, its output lost.
int stdoutError = 0;

void Written(FILE *stream)
{
    if (std::fflush(stream) != 0 || std::ferror(stream)) {
        if (stream == stdout && stdoutError == 0)
            stdoutError = errno != 0 ? errno : EIO;
        std::clearerr(stream);
    }
}

// Every line shown is terminal-safe: texts from devices and files cannot
// steer the terminal. The JSON document keeps them exact.
void WriteLine(FILE *stream, const std::string &line)
{
    EndLiveLocked();
    std::fputs(TerminalSafe(line).c_str(), stream);
    std::fputc('\n', stream);
    Written(stream);
}

FILE *LogStream() { return mode == OutputMode::Text ? stdout : stderr; }

// Callers hold the mutex.
void EmitLocked(const Event &event)
{
    std::fputs((EventLine(event) + "\n").c_str(), stdout);
    Written(stdout);
}

void TraceText(const char *text)
{
    FILE *stream = traceStream.load();
    if (!stream)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == OutputMode::Events) {
        EmitLocked(TextEvent(EventKind::Trace, text));
        return;
    }
    std::fputs(TerminalSafeTrace(text).c_str(), stream);
    Written(stream);
}

}  // namespace

void InitOutput(OutputMode newMode)
{
    std::lock_guard<std::mutex> lock(mutex);
    mode = newMode;
    started = std::chrono::steady_clock::now();
}

OutputMode CurrentOutputMode() { return mode; }

void EmitEvent(const Event &event)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == OutputMode::Events)
        EmitLocked(event);
}

void PrintResult(const std::string &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == OutputMode::Text)
        WriteLine(stdout, line);
}

namespace {

// The log a JSON document carries. A worker's log goes to its supervisor
// as it comes and is kept nowhere: a station's worker runs all shift.
void KeepLocked(std::vector<std::string> &lines, const std::string &line)
{
    if (mode != OutputMode::Events)
        lines.push_back(line);
}

}  // namespace

void PrintLog(const std::string &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    KeepLocked(logLines, line);
    if (mode == OutputMode::Events)
        EmitLocked(TextEvent(EventKind::Log, line));
    else
        WriteLine(LogStream(), line);
}

void PrintWarning(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    KeepLocked(warnings, text);
    if (mode == OutputMode::Events)
        EmitLocked(TextEvent(EventKind::Warning, text));
    else
        WriteLine(stderr, "zflash: warning: " + text);
}

void PrintError(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (firstError.empty())
        firstError = text;
    if (mode == OutputMode::Events)
        EmitLocked(TextEvent(EventKind::Error, text));
    else
        WriteLine(stderr, "zflash: " + text);
}

void PrintNotice(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == OutputMode::Events)
        EmitLocked(TextEvent(EventKind::Notice, text));
    else
        WriteLine(stderr, text);
}

void RouteLibraryTrace(TraceRoute route)
{
    traceStream = route == TraceRoute::Stdout   ? stdout
                  : route == TraceRoute::Stderr ? stderr
                                                : nullptr;
    SetTraceHandler(TraceText);
    SetComPortRefusalHandler(TraceText);
}

int FinishOutput(CommandResult &result)
{
    std::lock_guard<std::mutex> lock(mutex);
    EndLiveLocked();
    if (finished)
        return result.exitCode;
    finished = true;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.log = logLines;
    result.warnings = warnings;
    result.error = firstError;
    if (mode == OutputMode::Json) {
        const std::string text =
            ToJson(result).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
    }
    Written(stdout);
    Written(stderr);
    return result.exitCode;
}

int StdoutError()
{
    std::lock_guard<std::mutex> lock(mutex);
    return stdoutError;
}

void KeepLog(const std::string &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    KeepLocked(logLines, line);
}

void SetResultInProgress(CommandResult *result) { inProgress = result; }

CommandResult *ResultInProgress() { return inProgress; }

void ShowLive(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == OutputMode::Events)
        return;
    // Never wider than the terminal is now: a wrapped line cannot be redrawn.
    std::string shown = TerminalSafe(text);
    const int columns = TerminalColumns();
    if (columns > 1 && shown.size() >= size_t(columns))
        shown.resize(size_t(columns) - 1);
    std::string line = "\r" + shown;
    if (shown.size() < liveWidth)
        line += std::string(liveWidth - shown.size(), ' ');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    liveWidth = shown.empty() ? 1 : shown.size();
}

void EndLive()
{
    std::lock_guard<std::mutex> lock(mutex);
    EndLiveLocked();
    std::fflush(stderr);
}
