#include "tools/zflash/cli_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "station/metrics/listen_address.h"

const char *const kCommandNames[] = {"ports", "capture", "program", "verify",  "station",
                                     "inspect", "list",    "notes",   "records", nullptr};

namespace {

// Global options that take a value in the next argument.
const char *const kValueOptions[] = {"--root",     "--timeout",  "--deadline",   "--log",
                                     "--progress", "--operator", "--work-order", "--station",
                                     "--supervisor"};

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

// 64 hex digits, as sha256sum prints them (either case); kept in lower case.
CLI::Validator Sha256Hex()
{
    return CLI::Validator(
        [](std::string &text) -> std::string {
            if (text.size() != 64 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return "takes a SHA-256 digest: 64 hex digits";
            std::transform(text.begin(), text.end(), text.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            return std::string();
        },
        "", "");
}

// A name for the records: a line of text, without control characters.
CLI::Validator RecordName()
{
    return CLI::Validator(
        [](std::string &text) -> std::string {
            if (text.empty() || text.size() > 200)
                return "takes a name of 1 to 200 characters";
            for (unsigned char c : text)
                if (c < 0x20 || c == 0x7f)
                    return "must not hold control characters";
            return std::string();
        },
        "", "");
}

CLI::Validator NotEmpty()
{
    return CLI::Validator(
        [](std::string &text) { return text.empty() ? std::string("must not be empty") : std::string(); }, "", "");
}

// --metrics: ADDRESS:PORT, [IPv6]:PORT, :PORT or PORT.
CLI::Validator ListenAddressText()
{
    return CLI::Validator(
        [](std::string &text) {
            ListenAddress address;
            std::string error;
            return ParseListenAddress(text, address, error) ? std::string() : error;
        },
        "", "");
}

void AddMetricsOption(CLI::App *command, DeviceOptions &d)
{
    command->add_option("--metrics", d.metrics,
                        "Serve live metrics for Prometheus at http://ADDRESS:PORT/metrics while the ports work "
                        "(a station, or several ports; ADDRESS 127.0.0.1 unless given)")
        ->type_name("ADDRESS:PORT")
        ->check(ListenAddressText());
}

size_t EditDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

void AddPortOption(CLI::App *command, DeviceOptions &d)
{
    command->add_option("--port", d.ports,
                        "Serial port (COM3, /dev/ttyUSB0, /dev/serial/by-id/..., usb:VID:PID[:SERIAL]); "
                        "several --port: one device on each, at once (default: $ZFLASH_PORT)")
        ->envname("ZFLASH_PORT")
        ->required()
        ->check(NotEmpty());
}

void AddImageOptions(CLI::App *command, DeviceOptions &d)
{
    CLI::Option *image =
        command->add_option("--image", d.image, "Custom image file")->type_name("FILE")->check(NotEmpty());
    command->add_option("--version", d.version, "Listed image with this version (1.9.7 or v1.9.7)")
        ->type_name("V")
        ->check(NotEmpty())
        ->excludes(image);
    command->add_option("--expect-sha256", d.expectSha256,
                        "Refuse the --image file unless its SHA-256 is HEX (64 hex digits), before any device is "
                        "touched")
        ->type_name("HEX")
        ->check(Sha256Hex())
        ->needs(image);
}

}  // namespace

void AddGlobalOptions(CLI::App &app, GlobalOptions &g)
{
    app.add_option("--root", g.root,
                   "Folder holding flashloader/ and firmware/ (default: $ZFLASH_ROOT, else beside zflash,"
                   " else the installed data folder)")
        ->type_name("DIR");
    app.add_flag("--verbose", g.verbose, "Also show the target library's trace");
    app.add_flag("--json", g.json,
                 "Write the outcome as JSON to standard output (several ports: one record per line)");
    app.add_option("--timeout", g.timeout, "Seconds to wait for the device; 0 (the default): until Ctrl-C")
        ->type_name("S")
        ->check(Seconds());
    app.add_option("--deadline", g.deadline,
                   "Seconds a whole device session may take; past it zflash stops as on a second Ctrl-C")
        ->type_name("S")
        ->check(Seconds());
    app.add_option("--log", g.log, "Append one record per device session to FILE (JSON Lines)")
        ->type_name("FILE")
        ->check(NotEmpty());
    app.add_option("--progress", g.progress, "Progress display: auto (the default), bar, plain or none")
        ->type_name("MODE")
        ->check(CLI::IsMember({"auto", "bar", "plain", "none"}));
    app.add_option("--station", g.station, "The station's name in the records (default: the host's name)")
        ->type_name("NAME")
        ->check(RecordName());
    app.add_option("--operator", g.operatorName, "Who operates the station, for the records")
        ->type_name("NAME")
        ->check(RecordName());
    app.add_option("--work-order", g.workOrder, "The work order the units are programmed for, for the records")
        ->type_name("ID")
        ->check(RecordName());
    app.add_flag("--events", g.events, "A worker of several ports: events on standard output")->group("");
    app.add_option("--supervisor", g.supervisor, "A worker: its supervisor's process id")->group("");
}

void AddCommands(CLI::App &app, Command &c)
{
    CLI::App *ports = app.add_subcommand("ports", "List the serial ports");
    ports->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *capture = app.add_subcommand("capture", "Capture and identify the device, list its firmware");
    AddPortOption(capture, c.device);
    capture->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *program = app.add_subcommand("program", "Capture the device and program firmware");
    AddPortOption(program, c.device);
    AddImageOptions(program, c.device);
    program->add_flag("--yes,-y", c.device.yes, "Program a listed image that carries no hardware identifier");
    program->add_flag("--skip-if-current", c.device.skipIfCurrent,
                      "Only verify when the device holds this image's version, model and hardware already");
    program->add_option("--retries", c.device.retries,
                        "Erase, program and verify again up to N more times after a lost reply or a verify "
                        "mismatch, while the flash loader answers (default 0)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    AddMetricsOption(program, c.device);
    program->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *verify = app.add_subcommand("verify", "Capture the device and compare its firmware with an image");
    AddPortOption(verify, c.device);
    AddImageOptions(verify, c.device);
    verify->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *station = app.add_subcommand(
        "station", "Program unit after unit on every port, hands-free, until stopped or --count units are taken");
    AddPortOption(station, c.device);
    AddImageOptions(station, c.device);
    station->add_option("--count", c.device.count, "Take no unit after N units in all (0: no bound)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    station->add_option("--retries", c.stationRetries,
                        "Erase, program and verify again up to N more times after a lost reply or a verify "
                        "mismatch, while the flash loader answers (default 1)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    AddMetricsOption(station, c.device);
    station->add_option("--sysfs-root", c.sysfsRoot, "Where sysfs is mounted")->group("");

    CLI::App *inspect = app.add_subcommand("inspect", "Check image files offline");
    inspect->add_option("files", c.files, "Image files")->required()->type_name("FILE");

    CLI::App *list = app.add_subcommand("list", "Show what the catalogue offers for a hardware identifier");
    list->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");

    CLI::App *records = app.add_subcommand("records", "Load records files into a PostgreSQL database");
    records->require_subcommand(1);
    CLI::App *ingest = records->add_subcommand(
        "ingest", "Load records files into the database, each session once, however often a file is loaded");
    ingest->add_option("--db", c.db, "The database: postgresql://USER@HOST:PORT/DB (default: $ZFLASH_DB)")
        ->envname("ZFLASH_DB")
        ->required()
        ->type_name("URL")
        ->check(NotEmpty());
    ingest->add_flag("--follow", c.follow,
                     "Keep reading the files as they grow and rotate, until Ctrl-C or SIGTERM, through the "
                     "database's absences");
    ingest->add_option("files", c.files, "Records files (JSON Lines, as --log writes them)")
        ->required()
        ->type_name("FILE");

    CLI::App *notes = app.add_subcommand("notes", "Print the release notes for a hardware identifier");
    notes->add_option("--hw", c.hw, "Hardware identifier (VKT3K, ...)")->required()->type_name("ID");
}

std::string CommandWord(const std::vector<std::string> &args)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--")
            return i + 1 < args.size() ? args[i + 1] : std::string();
        if (a.empty() || a[0] != '-')
            return a;
        const bool takesValue = std::find(std::begin(kValueOptions), std::end(kValueOptions), a) !=
                                std::end(kValueOptions);
        if (takesValue)
            ++i;
    }
    return std::string();
}

std::string NearestCommand(const std::string &word)
{
    std::string best;
    size_t bestDistance = 3;  // more edits than this is not a typo
    for (const char *const *name = kCommandNames; *name; ++name) {
        const size_t d = EditDistance(word, *name);
        if (d < bestDistance) {
            bestDistance = d;
            best = *name;
        }
    }
    return best;
}

std::string PlainVersion(const std::string &version)
{
    if (version.size() > 1 && (version[0] == 'v' || version[0] == 'V') &&
        std::isdigit(static_cast<unsigned char>(version[1])))
        return version.substr(1);
    return version;
}
