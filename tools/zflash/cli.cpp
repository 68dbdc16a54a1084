// zflash's command line: the options, the commands, and one run from the
// parsed command to its exit code.
#include "tools/zflash/cli.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/appstate.h"
#include "app/workflows.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/worker.h"
#include "tools/zflash/zflash.h"

namespace {

const char *const kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the operation failed on the device (no answer, erase or verify failure);\n"
    "     for inspect, list, notes and ports: the output could not be written\n"
    "  2  usage or bad input (missing file, invalid image, image for other hardware)\n"
    "  3  no device (port cannot be opened, cancelled, time-out)\n"
    "  4  image without hardware identifier refused (use --yes)";

// A number of seconds, 0 or more (0: no limit).
CLI::Validator Seconds()
{
    return CLI::Validator(
        [](std::string &text) -> std::string {
            char *end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0)
                return "takes a number of seconds, 0 for no limit";
            return std::string();
        },
        "", "");
}

CLI::Validator NotEmpty()
{
    return CLI::Validator(
        [](std::string &text) { return text.empty() ? std::string("must not be empty") : std::string(); }, "", "");
}

struct Command {
    std::string name;
    GlobalOptions global;
    DeviceOptions device;
    std::vector<std::string> files;
    std::string hw;
    std::string sysfsRoot = "/sys";
};

void AddGlobalOptions(CLI::App &app, GlobalOptions &g)
{
    app.add_option("--root", g.root, "Folder holding flashloader/ and firmware/ (default: beside zflash)")
        ->type_name("DIR");
    app.add_flag("--verbose", g.verbose, "Also show the target library's trace");
    app.add_flag("--json", g.json, "Write one JSON document with the outcome to standard output");
    app.add_option("--timeout", g.timeout, "Seconds to wait for the device; 0 (the default): until Ctrl-C")
        ->type_name("S")
        ->check(Seconds());
}

void AddCommands(CLI::App &app, Command &c)
{
    CLI::App *ports = app.add_subcommand("ports", "List the serial ports");
    ports->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *capture = app.add_subcommand("capture", "Capture and identify the device, list its firmware");
    capture->add_option("--port", c.device.port, "Serial port (COM3, /dev/ttyUSB0)")->required();

    CLI::App *program = app.add_subcommand("program", "Capture the device and program firmware");
    program->add_option("--port", c.device.port, "Serial port (COM3, /dev/ttyUSB0)")->required();
    CLI::Option *image = program->add_option("--image", c.device.image, "Custom image file to program")
                             ->type_name("FILE")
                             ->check(NotEmpty());
    program->add_option("--version", c.device.version, "Listed image with this version")
        ->type_name("V")
        ->check(NotEmpty())
        ->excludes(image);
    program->add_flag("--yes,-y", c.device.yes, "Program a listed image that carries no hardware identifier");

    CLI::App *inspect = app.add_subcommand("inspect", "Check image files offline");
    inspect->add_option("files", c.files, "Image files")->required()->type_name("FILE");

    CLI::App *list = app.add_subcommand("list", "Show what the catalogue offers for a hardware identifier");
    list->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");

    CLI::App *notes = app.add_subcommand("notes", "Print the release notes for a hardware identifier");
    notes->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");
}

// Runs `command` on a body of its kind made in place in the result, where
// an abort can still find it.
template <class Body, class Fn>
int RunWith(CommandResult &result, Fn command)
{
    return command(result.body.emplace<Body>());
}

int Dispatch(const Command &c, CommandResult &result)
{
    if (c.name == "ports")
        return RunWith<PortsResult>(result, [&](PortsResult &b) { return RunPorts(c.global, c.sysfsRoot, b); });
    if (c.name == "capture")
        return RunWith<DeviceResult>(result, [&](DeviceResult &b) { return RunCapture(c.global, c.device, b); });
    if (c.name == "program")
        return RunWith<DeviceResult>(result, [&](DeviceResult &b) { return RunProgram(c.global, c.device, b); });
    if (c.name == "inspect")
        return RunWith<InspectResult>(result, [&](InspectResult &b) { return RunInspect(c.global, c.files, b); });
    if (c.name == "list")
        return RunWith<ListResult>(result, [&](ListResult &b) { return RunList(c.global, c.hw, b); });
    return RunWith<NotesResult>(result, [&](NotesResult &b) { return RunNotes(c.global, c.hw, b); });
}

bool UsesRoot(const std::string &command)
{
    return command == "capture" || command == "program" || command == "list" || command == "notes";
}

// The commands whose job is their output.
bool OutputIsTheJob(const std::string &command)
{
    return command == "inspect" || command == "list" || command == "notes" || command == "ports";
}

int Run(const Command &c)
{
    InitOutput(c.global.json);
    RouteLibraryTrace(!c.global.verbose ? TraceRoute::Discard
                      : c.global.json   ? TraceRoute::Stderr
                                        : TraceRoute::Stdout);
    if (!c.global.root.empty())
        SetAppRootDir(c.global.root);
    InitWorkflows(StderrIsTerminal());
    InstallInterruptHandler();

    CommandResult result;
    result.command = c.name;
    result.root = AppRootDir();
    SetResultInProgress(&result);
    std::error_code ec;
    if (UsesRoot(c.name) && !c.global.root.empty() && !std::filesystem::is_directory(c.global.root, ec)) {
        PrintError("no such folder: " + c.global.root + " (--root).");
        result.exitCode = ExitBadInput;
    } else {
        result.exitCode = Dispatch(c, result);
    }
    if (auto *device = std::get_if<DeviceResult>(&result.body))
        device->timings = StepTimings();
    int code = FinishOutput(result);
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

// A usage error: CLI11's message on standard error, and with --json still
// the one document on standard output.
int UsageError(const CLI::App &app, const CLI::ParseError &e, bool json)
{
    const int status = app.exit(e, std::cout, std::cerr);
    if (status == 0)
        return ExitOk;  // --help
    if (json) {
        InitOutput(true);
        CommandResult result;
        result.exitCode = ExitBadInput;
        for (const CLI::App *sub : app.get_subcommands())
            result.command = sub->get_name();
        PrintError(e.what());
        FinishOutput(result);
    }
    return ExitBadInput;
}

}  // namespace

int ZflashMain(int argc, char **argv)
{
    CLI::App app{"zflash " + Version() +
                 ": capture, identify, program and verify Zelvo devices over a serial port."};
    app.footer(kExitCodes);
    app.fallthrough();
    app.require_subcommand(1);
    Command command;
    AddGlobalOptions(app, command.global);
    AddCommands(app, command);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return UsageError(app, e, AskedForJson(argc, argv));
    }
    command.name = app.get_subcommands().front()->get_name();
    return Run(command);
}
