#include "tools/zflash/output.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "tools/zflash/libtrace.h"
#include "tools/zflash/zflash.h"

#ifdef _WIN32
#include <io.h>
#define zf_isatty _isatty
#else
#include <unistd.h>
#define zf_isatty isatty
#endif

namespace {

std::mutex mutex;
bool jsonMode = false;
nlohmann::json report = nlohmann::json::object();
std::vector<std::string> logLines;
std::vector<std::string> warnings;
std::string firstError;
size_t liveWidth = 0;  // characters of the live line on the terminal; 0: none
bool finished = false;

// Callers hold the mutex.
void EndLiveLocked()
{
    if (liveWidth == 0)
        return;
    std::fputc('\n', stderr);
    liveWidth = 0;
}

void WriteLine(FILE *stream, const std::string &line)
{
    EndLiveLocked();
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

FILE *LogStream() { return jsonMode ? stderr : OwnStdout(); }

}  // namespace

const char *OutcomeName(int exitCode)
{
    switch (exitCode) {
    case ExitOk: return "success";
    case ExitFailed: return "failed";
    case ExitBadInput: return "bad-input";
    case ExitNoDevice: return "no-device";
    case ExitUnverified: return "unverified-refused";
    default: return "unknown";
    }
}

void InitOutput(bool json)
{
    std::lock_guard<std::mutex> lock(mutex);
    jsonMode = json;
    OwnStdout();
}

bool JsonMode() { return jsonMode; }

void PrintResult(const std::string &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!jsonMode)
        WriteLine(OwnStdout(), line);
}

void PrintLog(const std::string &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    logLines.push_back(line);
    WriteLine(LogStream(), line);
}

void PrintWarning(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    warnings.push_back(text);
    WriteLine(stderr, "zflash: warning: " + text);
}

void PrintError(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (firstError.empty())
        firstError = text;
    WriteLine(stderr, "zflash: " + text);
}

void PrintNotice(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    WriteLine(stderr, text);
}

nlohmann::json &Report() { return report; }

int FinishOutput(int exitCode)
{
    std::lock_guard<std::mutex> lock(mutex);
    EndLiveLocked();
    if (finished)
        return exitCode;
    finished = true;
    if (jsonMode) {
        report["exitCode"] = exitCode;
        report["outcome"] = OutcomeName(exitCode);
        report["log"] = logLines;
        report["warnings"] = warnings;
        report["error"] = firstError.empty() ? nlohmann::json() : nlohmann::json(firstError);
        std::string text = report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        FILE *out = OwnStdout();
        std::fputs(text.c_str(), out);
        std::fputc('\n', out);
    }
    std::fflush(OwnStdout());
    std::fflush(stderr);
    return exitCode;
}

bool StderrIsTerminal() { return zf_isatty(2) != 0; }

void ShowLive(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    std::string line = "\r" + text;
    if (text.size() < liveWidth)
        line += std::string(liveWidth - text.size(), ' ');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    liveWidth = text.empty() ? 1 : text.size();
}

void EndLive()
{
    std::lock_guard<std::mutex> lock(mutex);
    EndLiveLocked();
    std::fflush(stderr);
}
