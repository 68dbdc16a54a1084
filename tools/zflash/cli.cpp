// zflash's command line: one run from the parsed command to its exit code.
#include "tools/zflash/cli.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/appstate.h"
#include "app/workflows.h"
#include "targetlib/utf8path.h"
#include "station/adapter_session.h"
#include "station/device_session.h"
#include "station/device_steps.h"
#include "station/session_runner.h"
#include "station/stop_policy.h"
#include "tools/zflash/arguments.h"
#include "tools/zflash/cli_options.h"
#include "tools/zflash/finish.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/live_metrics.h"
#include "tools/zflash/output.h"
#include "devicelink/ports/port_select.h"
#include "station/record.h"
#include "station/record_file.h"
#include "station/parent_watch.h"
#include "station/supervisor_link.h"
#include "tools/zflash/rootdir.h"
#include "tools/zflash/session_view.h"
#include "zf_version.h"

namespace {

const char *const kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the operation failed on the device (no answer, erase or verify failure);\n"
    "     for inspect, list, notes and ports: the output could not be written\n"
    "  2  usage or bad input (missing file, invalid image, image for other hardware)\n"
    "  3  no device (port cannot be opened, cancelled, time-out)\n"
    "  4  image without hardware identifier refused (use --yes)\n"
    "  5  the device session succeeded, but its record could not be added to the --log file\n"
    "Several ports: 0 when every device succeeded, else the highest code of them.";

bool IsDeviceCommand(const std::string &command)
{
    return command == "capture" || command == "program" || command == "verify" || command == "station";
}

bool UsesRoot(const std::string &command)
{
    return IsDeviceCommand(command) || command == "list" || command == "notes";
}

// The commands whose job is their output.
bool OutputIsTheJob(const std::string &command)
{
    return command == "inspect" || command == "list" || command == "notes" || command == "ports";
}

OutputMode ChooseOutput(const GlobalOptions &g)
{
    return g.events ? OutputMode::Events : g.json ? OutputMode::Json : OutputMode::Text;
}

// Runs `command` on a body of its kind made in place in the result, where
// an abort can still find it.
template <class Body, class Fn>
int RunWith(CommandResult &result, Fn command)
{
    return command(result.body.emplace<Body>());
}

int RunDevice(const Command &c, CommandResult &result)
{
    const DeviceOptions &d = c.device;
    SessionOptions session;
    session.port = d.ports.empty() ? std::string() : d.ports.front();
    session.image = d.image;
    session.imageSha256 = d.expectSha256;
    session.version = d.version;
    session.yes = d.yes;
    session.skipIfCurrent = d.skipIfCurrent;
    session.retries = d.retries;
    session.timeout = c.global.timeout;
    TuneSessionAdapter(session.port, c.sysfsRoot);  // put back by FinishCommand
    if (c.name == "station")
        return RunStationWorker(session, c.global, d.count, result);
    SetSessionDeadline(c.global.deadline);
    return RunWith<DeviceResult>(result, [&](DeviceResult &b) {
        if (c.name == "capture")
            return CaptureSession(session, b);
        if (c.name == "verify")
            return VerifySession(session, b);
        return ProgramSession(session, b);
    });
}

int Dispatch(const Command &c, CommandResult &result)
{
    if (c.name == "ports")
        return RunWith<PortsResult>(result,
                                    [&](PortsResult &b) { return RunPorts(c.global, {c.sysfsRoot, c.devRoot}, b); });
    if (IsDeviceCommand(c.name))
        return RunDevice(c, result);
    if (c.name == "inspect")
        return RunWith<InspectResult>(result, [&](InspectResult &b) { return RunInspect(c.global, c.files, b); });
    if (c.name == "records")
        return RunRecordsIngest(c.db, c.files, c.follow);
    if (c.name == "list")
        return RunWith<ListResult>(result, [&](ListResult &b) { return RunList(c.global, c.hw, b); });
    return RunWith<NotesResult>(result, [&](NotesResult &b) { return RunNotes(c.global, c.hw, b); });
}

void ChooseRoot(const GlobalOptions &g)
{
    const char *envRoot = std::getenv("ZFLASH_ROOT");
    SetAppRootDir(ChooseRootDir({g.root, envRoot ? envRoot : "", GetExeDir(), ZFLASH_DATA_DIR},
                                HasFlashLoaderFolder));
}

// A root named on purpose (--root, ZFLASH_ROOT) must exist; a device
// session refused for it has its record like any other refusal.
bool RootExists(const Command &c, CommandResult &result)
{
    std::error_code ec;
    if (!UsesRoot(c.name) || std::filesystem::is_directory(PathOfName(AppRootDir()), ec))
        return true;
    const std::string text = "no such folder: " + AppRootDir() + " (the folder of flashloader/ and firmware/).";
    if (!IsDeviceCommand(c.name)) {
        PrintError(text);
        return false;
    }
    DeviceResult &device = result.body.emplace<DeviceResult>();
    device.port = c.device.ports.empty() ? std::string() : c.device.ports.front();
    Failure missing;
    missing.kind = FailureKind::NoFirmware;
    missing.file = AppRootDir();
    DeviceFailed(device, missing, text);
    return false;
}

int Run(const Command &c)
{
    InitOutput(ChooseOutput(c.global));
    RouteLibraryTrace(!c.global.verbose ? TraceRoute::Discard
                      : c.global.json   ? TraceRoute::Stderr
                                        : TraceRoute::Stdout);
    ChooseRoot(c.global);
    ProgressInit(c.global.events ? ProgressStyle::Events : ProgressStyleFor(c.global.progress));
    SetSessionView(&TerminalView());
    InitWorkflows(TakeInterrupts);
    SetEndingNow(EndingNow);
    InstallInterruptHandler();

    CommandResult result;
    result.command = c.name;
    result.root = AppRootDir();
    SetResultInProgress(&result);
    if (IsDeviceCommand(c.name)) {
        SetRecordSettings({c.global.log, c.device.adapter});
        RecordSessionStarts();
    }
    result.exitCode = RootExists(c, result) ? Dispatch(c, result) : ExitBadInput;
    int code = FinishCommand(result);
    SetResultInProgress(nullptr);
    if (OutputIsTheJob(c.name) && StdoutError() != 0) {
        std::fprintf(stderr, "zflash: the output could not be written: %s.\n", std::strerror(StdoutError()));
        code = ExitFailed;
    }
    return code;
}

bool AskedForJson(int argc, char **argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--json") == 0)
            return true;
    return false;
}

// A usage error: its message on standard error, and with --json still the
// one document on standard output.
int UsageError(const std::string &command, const std::string &message, bool json)
{
    if (json) {
        InitOutput(OutputMode::Json);
        CommandResult result;
        result.command = command;
        result.exitCode = ExitBadInput;
        PrintError(message);
        FinishOutput(result);
    } else {
        std::fprintf(stderr, "zflash: %s\n", message.c_str());
    }
    return ExitBadInput;
}

// "progam" is not "program": said before CLI11 would call it an extra argument.
bool KnownCommand(const std::string &word, std::string &message)
{
    for (const char *const *name = kCommandNames; *name; ++name)
        if (word == *name)
            return true;
    message = "unknown command \"" + word + "\".";
    const std::string nearest = NearestCommand(word);
    if (!nearest.empty())
        message += " Did you mean \"" + nearest + "\"?";
    message += " Run zflash --help for the commands.";
    return false;
}

// Several ports (or a selector that names several) make a gang. Nothing
// touches a device unless its record can be written.
int RunCommand(Command &c)
{
    if (c.name == "records" && c.follow && c.global.json)
        return UsageError(c.name, "--follow runs until it is stopped: its lines are a log, not one JSON document.",
                          true);
    if (!IsDeviceCommand(c.name))
        return Run(c);
    SetRecordIdentity({c.global.station, c.global.operatorName, c.global.workOrder});
    if (c.global.events && c.global.supervisor > 0) {
        // A worker never outlives its supervisor, nor starts without it.
        if (!TieLifeToSupervisor(c.global.supervisor))
            return ExitFailed;
        ListenToSupervisor(std::cin);
    }
    if (c.name == "station")
        c.device.retries = c.stationRetries;
    std::vector<ResolvedPort> ports;
    std::string error;
    if (!ResolvePorts(c.device.ports, {c.sysfsRoot, c.devRoot}, ports, error))
        return UsageError(c.name, error, c.global.json);
    if (!c.global.log.empty() && !CheckRecordFile(c.global.log, error))
        return UsageError(c.name, "cannot write records to " + c.global.log + ": " + error + ". No device was touched.",
                          c.global.json);
    const bool supervised = (c.name == "station" || ports.size() > 1) && !c.global.events;
    if (!c.device.metrics.empty() && !supervised)
        return UsageError(c.name, "--metrics serves a station or several ports; a single device's session ends "
                                  "before it is worth a scrape (zflash station --count 1 takes one unit).",
                          c.global.json);
    if (supervised) {
        ChooseRoot(c.global);
        c.device.ports.clear();
        for (const ResolvedPort &p : ports)
            c.device.ports.push_back(p.port);
        std::unique_ptr<LiveMetrics> metrics;
        if (!c.device.metrics.empty()) {
            metrics = ServeMetrics(c.device.metrics, c.device.ports, error);
            if (!metrics)
                return UsageError(c.name, error + ". No device was touched.", c.global.json);
        }
        SupervisorObserver *observer = metrics ? &metrics->figures : nullptr;
        if (c.name == "station")
            return RunStation(c.global, c.device, c.sysfsRoot, ProgressStyleFor(c.global.progress), observer);
        return RunGang(c.name, c.global, c.device, c.sysfsRoot, ProgressStyleFor(c.global.progress), observer);
    }
    c.device.ports = {ports.front().port};
    c.device.adapter = ports.front().adapterSerial;
    return Run(c);
}

}  // namespace

int ZflashMain(int argc, char **argv)
{
    std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::vector<char *> utf8;
    for (std::string &a : args)
        utf8.push_back(&a[0]);
    utf8.push_back(nullptr);
    argc = int(args.size());
    argv = utf8.data();
    CLI::App app{"zflash " ZF_VERSION ": capture, identify, program and verify Zelvo devices over a serial port."};
    app.set_version_flag("--version", "zflash " ZF_VERSION, "Print zflash's version and exit");
    app.footer(kExitCodes);
    app.fallthrough();
    app.require_subcommand(1);
    Command command;
    if (const char *sysfs = std::getenv("ZFLASH_SYSFS_ROOT"))
        command.sysfsRoot = sysfs;
    if (const char *dev = std::getenv("ZFLASH_DEV_ROOT"))
        command.devRoot = dev;
    AddGlobalOptions(app, command.global);
    AddCommands(app, command);
    const bool json = AskedForJson(argc, argv);
    const std::string word = CommandWord(std::vector<std::string>(argv + 1, argv + argc));
    std::string message;
    if (!word.empty() && !KnownCommand(word, message))
        return UsageError(std::string(), message, json);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0 || !json)
            return app.exit(e) == 0 ? ExitOk : ExitBadInput;
        std::string name;
        for (const CLI::App *sub : app.get_subcommands())
            name = sub->get_name();
        return UsageError(name, e.what(), json);
    }
    command.name = app.get_subcommands().front()->get_name();
    command.device.version = PlainVersion(command.device.version);
    return RunCommand(command);
}
