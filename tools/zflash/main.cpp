// zflash: capture, identify, program and verify Zelvo devices from a terminal
// or a script, through the same workflows as the window.
#include <chrono>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "app/appstate.h"
#include "app/workflows.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/libtrace.h"
#include "tools/zflash/output.h"
#include "tools/zflash/rootdir.h"
#include "tools/zflash/worker.h"
#include "tools/zflash/zflash.h"
#include "zf_version.h"

namespace {

const char *const kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the operation failed on the device (no answer, erase or verify failure)\n"
    "  2  usage or bad input (missing file, invalid image, image for other hardware)\n"
    "  3  no device (port cannot be opened, cancelled, time-out)\n"
    "  4  image without hardware identifier refused (use --yes)";

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
    app.add_option("--root", g.root,
                   "Folder holding flashloader/ and firmware/ (default: $ZFLASH_ROOT, else beside zflash,"
                   " else the installed data folder)")
        ->type_name("DIR");
    app.add_flag("--verbose", g.verbose, "Also show the target library's trace");
    app.add_flag("--json", g.json, "Write one JSON document with the outcome to standard output");
    app.add_option("--timeout", g.timeout, "Seconds to wait for the device (default: until Ctrl-C)")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);
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
                             ->type_name("FILE");
    program->add_option("--version", c.device.version, "Listed image with this version")
        ->type_name("V")
        ->excludes(image);
    program->add_flag("--yes,-y", c.device.yes, "Program a listed image that carries no hardware identifier");

    CLI::App *inspect = app.add_subcommand("inspect", "Check image files offline");
    inspect->add_option("files", c.files, "Image files")->required()->type_name("FILE");

    CLI::App *list = app.add_subcommand("list", "Show what the catalogue offers for a hardware identifier");
    list->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");

    CLI::App *notes = app.add_subcommand("notes", "Print the release notes for a hardware identifier");
    notes->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");
}

int Dispatch(const Command &c)
{
    if (c.name == "ports")
        return RunPorts(c.global, c.sysfsRoot);
    if (c.name == "capture")
        return RunCapture(c.global, c.device);
    if (c.name == "program")
        return RunProgram(c.global, c.device);
    if (c.name == "inspect")
        return RunInspect(c.global, c.files);
    if (c.name == "list")
        return RunList(c.global, c.hw);
    return RunNotes(c.global, c.hw);
}

int Run(const Command &c)
{
    auto start = std::chrono::steady_clock::now();
    InitOutput(c.global.json);
    RouteLibraryTrace(!c.global.verbose ? TraceRoute::Discard
                      : c.global.json   ? TraceRoute::Stderr
                                        : TraceRoute::Stdout);
    const char *envRoot = std::getenv("ZFLASH_ROOT");
    SetAppRootDir(ChooseRootDir({c.global.root, envRoot ? envRoot : "", GetExeDir(), ZFLASH_DATA_DIR},
                                HasFlashLoaderFolder));
    InitWorkflows(StderrIsTerminal());
    InstallInterruptHandler();

    Report()["command"] = c.name;
    Report()["root"] = AppRootDir();
    int code = Dispatch(c);
    Report()["timings"] = StepTimings();
    Report()["seconds"] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return FinishOutput(code);
}

}  // namespace

// Failures end in exit codes; only bad_alloc or a failed thread start can
// escape, and ending the program then is right.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char **argv)
{
    CLI::App app{"zflash " ZF_VERSION ": capture, identify, program and verify Zelvo devices over a serial port."};
    app.set_version_flag("--version", "zflash " ZF_VERSION, "Print zflash's version and exit");
    app.footer(kExitCodes);
    app.fallthrough();
    app.require_subcommand(1);
    Command command;
    AddGlobalOptions(app, command.global);
    AddCommands(app, command);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? ExitOk : ExitBadInput;
    }
    command.name = app.get_subcommands().front()->get_name();
    return Run(command);
}
