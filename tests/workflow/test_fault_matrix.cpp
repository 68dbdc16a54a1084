// The fault-injection matrix: each fault the simulated device can inject, in
// each phase of a run as the window chains the workers (capture; query;
// program the first listed image; query again after a success), followed by a
// fresh capture of the same device. The table below says how each cell must
// end. Every cell also checks that each worker ends in bounded time with one
// completion message, its last, and that "Programming complete." is never
// reported for flash contents that differ from the image. The device answers
// a request that the host repeats while it is still at work on it (its reply
// late) without carrying it out again, as the host assumes; the rows "done
// twice" are a device that carries it out again.
//
// The cells run only when ZF_FAULT_MATRIX names a folder for their rows
// (scripts/test.d/60-fault-matrix.sh runs them two at a time): the erase
// time-outs alone take minutes. FaultMatrixTable then prints the matrix.
#include "tests/workflow/workflow_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tests/workflow/fault_matrix_rows.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// What the operator does while the capture waits for the device.
enum class Operator { Waits, PowerCycles, Cancels };

struct Fault {
    const char *name;
    SimFault::Kind kind;  // a fault on the reply to one request
    unsigned value;
    // Faults of the handshake, which has no request code: the device's options.
    SimOptions::Ack ack = SimOptions::AckGood;
    int announceGapMs = 20;
    Operator op = Operator::Waits;
    const char *traceMark = nullptr;  // the target library's trace shows it took effect
    // What the device does with a request the host sends again while the
    // device is still at work on it (its reply late).
    SimRepeats repeats = SimRepeats::Once;
    int weakBlock = -1;  // an image block that the first programming pass writes wrongly
};

// `skip` requests of the code pass before the one that meets the fault.
struct Phase {
    const char *name;
    int command;  // -1: the capture handshake
    int skip;
};

const Fault kDropped{"dropped reply", SimFault::DropReply, 0};
const Fault kCorrupted{"corrupted reply", SimFault::CorruptReply, 0};
const Fault kNoise{"noise", SimFault::Noise, 32};
const Fault kErrorCode{"error code", SimFault::ErrorCode, 11};  // "Internal error"
const Fault kOddStatus{"odd status", SimFault::OddStatus, 2};
const Fault kLineClosed{"line closed", SimFault::CloseLine, 1};  // cable pulled: hang-up
const Fault kSlowErase{"slow reply (29 s)", SimFault::SlowReply, 290};
const Fault kNoAck{"no acknowledgement", SimFault::DropReply, 0, SimOptions::AckNone, 20,
                   Operator::PowerCycles, "  Timeout waiting for target capture.  Restart.\n"};
const Fault kWrongAck{"wrong acknowledgement", SimFault::DropReply, 0, SimOptions::AckWrong, 20,
                      Operator::Cancels, "  Found target. Capturing...\n  Waiting for target.\n"};
// Announcements back to back: the capture request meets a line that is busy
// with them, and the acknowledgement arrives among their bytes.
const Fault kAnnounceNoise{"noise", SimFault::DropReply, 0, SimOptions::AckGood, 1};
// One reply late past its attempt's time-out (half a time-out into the
// host's second attempt; the erase's 1 s past its 30 s), so that the host has
// sent the request again meanwhile. The device answers that repeat again without carrying it out,
// or (done twice) carries it out again.
constexpr Fault Late(const char *name, unsigned ms, SimRepeats repeats, int weakBlock = -1)
{
    return Fault{name, SimFault::LateReply, ms, SimOptions::AckGood, 20, Operator::Waits, nullptr, repeats,
                 weakBlock};
}
const Fault kLate150 = Late("late reply (150 ms)", 150, SimRepeats::Once);
const Fault kLate300 = Late("late reply (300 ms)", 300, SimRepeats::Once);
const Fault kLate450 = Late("late reply (450 ms)", 450, SimRepeats::Once);
const Fault kLateErase = Late("late reply (31 s)", 31000, SimRepeats::Once);
const Fault kLate150Twice = Late("late reply, done twice", 150, SimRepeats::Twice);
const Fault kLate450Twice = Late("late reply, done twice", 450, SimRepeats::Twice);
// The last block is written wrongly; the verify reply before it is late.
const Fault kLateBeforeMismatch = Late("late reply, mismatch", 150, SimRepeats::Once, 5);

const Phase kHandshake{"handshake", -1, 0};
const Phase kIdentify{"identify", 3, 0};
const Phase kLoaderDownload{"loader download", 100, 2};
const Phase kLoaderStart{"loader start", 1, 0};
const Phase kQuery{"query", 4, 0};
const Phase kBlankCheck{"blank check", 93, 0};
const Phase kErase{"erase", 92, 0};
const Phase kProgram{"program", 190, 2};
const Phase kVerify{"verify", 191, 2};
const Phase kVerifyLastButOne{"verify", 191, 4};  // of the image's 6 blocks

// How a worker ends: the step it failed in and the failure's kind, as its
// outcome says; kind None: it succeeds.
struct Ending {
    WorkStep step = WorkStep::None;
    FailureKind kind = FailureKind::None;
};
const Ending kOk;
const Ending kCancelled{WorkStep::WaitDevice, FailureKind::Cancelled};
const Ending kNoHwRefused{WorkStep::Identify, FailureKind::DeviceRefused};
const Ending kNoHwSilent{WorkStep::Identify, FailureKind::NoAnswer};
const Ending kLoaderRefused{WorkStep::StartLoader, FailureKind::DeviceRefused};
const Ending kLoaderSilent{WorkStep::StartLoader, FailureKind::NoAnswer};
const Ending kQueryRefused{WorkStep::Query, FailureKind::DeviceRefused};
const Ending kQuerySilent{WorkStep::Query, FailureKind::NoAnswer};
const Ending kEraseRefused{WorkStep::Erase, FailureKind::DeviceRefused};
const Ending kEraseSilent{WorkStep::Erase, FailureKind::NoAnswer};
const Ending kProgramRefused{WorkStep::Program, FailureKind::DeviceRefused};
const Ending kProgramSilent{WorkStep::Program, FailureKind::NoAnswer};
const Ending kVerifyMismatch{WorkStep::Verify, FailureKind::VerifyMismatch};
const Ending kVerifyRefused{WorkStep::Verify, FailureKind::DeviceRefused};
const Ending kVerifySilent{WorkStep::Verify, FailureKind::NoAnswer};

struct Cell {
    Fault fault;
    Phase phase;
    Ending capture = kOk;
    Ending query = kOk;  // the query right after the capture
    Ending program = kOk;
};

// {fault, phase, how the capture ends, the query after it, the program run};
// an ending left out: that worker succeeds.
const Cell kCells[] = {
    // The handshake. The host gives up on a missing acknowledgement after 1 s
    // and waits for a new announcement, which a power cycle brings; a wrong
    // one sends it back to waiting at once, until the operator cancels.
    {kNoAck, kHandshake},
    {kWrongAck, kHandshake, kCancelled},
    {kAnnounceNoise, kHandshake},
    // Query "HW" in the boot loader.
    {kDropped, kIdentify},
    {kCorrupted, kIdentify},
    {kNoise, kIdentify},
    {kErrorCode, kIdentify, kNoHwRefused},
    {kOddStatus, kIdentify, kNoHwRefused},
    {kLineClosed, kIdentify, kNoHwSilent},
    // The third RAM block of the flash loader.
    {kDropped, kLoaderDownload},
    {kCorrupted, kLoaderDownload},
    {kNoise, kLoaderDownload},
    {kErrorCode, kLoaderDownload, kLoaderRefused},
    {kOddStatus, kLoaderDownload, kLoaderRefused},
    {kLineClosed, kLoaderDownload, kLoaderSilent},
    // The start command. Once the device has started the loader, it listens
    // at the loader's rate: a repeated start request, still sent at 115200
    // baud, cannot reach it, so a corrupted reply ends the capture. Any
    // answer to the start command counts as "started", whatever its status:
    // a refusal shows only when the loader does not answer at its rate.
    {kDropped, kLoaderStart},
    {kCorrupted, kLoaderStart, kLoaderSilent},
    {kNoise, kLoaderStart},
    {kErrorCode, kLoaderStart, kOk, kQuerySilent, kEraseSilent},
    {kOddStatus, kLoaderStart, kOk, kQuerySilent, kEraseSilent},
    {kLineClosed, kLoaderStart, kLoaderSilent},
    // The information text of the installed firmware. A failed query leaves
    // the port open and the operator may still program; over a dead line the
    // blank check fails, which leads to the erase and its three time-outs.
    {kDropped, kQuery},
    {kCorrupted, kQuery},
    {kNoise, kQuery},
    {kErrorCode, kQuery, kOk, kQueryRefused},
    {kOddStatus, kQuery, kOk, kQueryRefused},
    {kLineClosed, kQuery, kOk, kQuerySilent, kEraseSilent},
    // Blank check: whatever makes it fail only leads to the erase.
    {kDropped, kBlankCheck},
    {kCorrupted, kBlankCheck},
    {kNoise, kBlankCheck},
    {kErrorCode, kBlankCheck},
    {kOddStatus, kBlankCheck},
    {kLineClosed, kBlankCheck, kOk, kOk, kEraseSilent},
    // Erase, 30 s per attempt. A corrupted reply costs the same attempt as a
    // dropped one and takes the same path, so only the dropped one runs. A
    // reply 29 s late still falls within its attempt.
    {kDropped, kErase},
    {kNoise, kErase},
    {kErrorCode, kErase, kOk, kOk, kEraseRefused},
    {kOddStatus, kErase, kOk, kOk, kEraseRefused},
    {kLineClosed, kErase, kOk, kOk, kEraseSilent},
    {kSlowErase, kErase},
    // The third program block. Blocks carry no address: a block whose reply
    // was lost after the device wrote it is written again after itself, and
    // the verification finds the contents shifted.
    {kDropped, kProgram},
    {kCorrupted, kProgram, kOk, kOk, kVerifyMismatch},
    {kNoise, kProgram},
    {kErrorCode, kProgram, kOk, kOk, kProgramRefused},
    {kOddStatus, kProgram, kOk, kOk, kProgramRefused},
    {kLineClosed, kProgram, kOk, kOk, kProgramSilent},
    // The third verify block; repeated, it is compared one block further on.
    {kDropped, kVerify},
    {kCorrupted, kVerify, kOk, kOk, kVerifyMismatch},
    {kNoise, kVerify},
    {kErrorCode, kVerify, kOk, kOk, kVerifyRefused},
    {kOddStatus, kVerify, kOk, kOk, kVerifyRefused},
    {kLineClosed, kVerify, kOk, kOk, kVerifySilent},
    // One late reply to each request of the program path. The host waits for
    // the replies it is still owed before its next request, so no step takes
    // another's answer. A device that carries a repeated program block out
    // again writes it twice: verification finds it (a station's retry erases
    // and programs again). A repeated verify block compared one block further
    // on gets a mismatch that answers the repeat, not the next block.
    {kLate300, kIdentify},
    {kLate300, kQuery},
    {kLate450, kBlankCheck},
    {kLateErase, kErase},
    {kLate450, kProgram},
    {kLate150, kVerify},
    {kLate450Twice, kProgram, kOk, kOk, kVerifyMismatch},
    {kLate150Twice, kVerify},
    {kLateBeforeMismatch, kVerifyLastButOne, kOk, kOk, kVerifyMismatch},
};
constexpr size_t kCellCount = sizeof kCells / sizeof kCells[0];

const char *const kInstalledInfo = "VN:1.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-01-15 10:00\r\n";

// Longest legitimate runs: a capture that waits for the operator, a query, and
// a program run that sits through three erase attempts of 30 s.
constexpr seconds kCaptureBound(30);
constexpr seconds kQueryBound(20);
constexpr seconds kProgramBound(110);

// How one worker ended: its completion's wParam, its outcome (the step it
// failed in and the failure's kind) and, for the table's readers, its last
// log line.
struct WorkerEnd {
    std::string name;
    uintptr_t done = 0;
    WorkStep step = WorkStep::None;
    FailureKind kind = FailureKind::None;
    std::string line;
    double seconds = 0;
};

std::string WithoutIndent(const std::string &line)
{
    return line.substr(std::min(line.find_first_not_of(' '), line.size()));
}

std::string Describe(const std::string &name, uintptr_t done, const Ending &ending)
{
    return name + " " + std::to_string(done) + (done ? "" : std::string(": ") + StepName(ending.step) + " " +
                                                              FailureKindName(ending.kind));
}

std::string Describe(const std::vector<WorkerEnd> &ends)
{
    std::string out;
    for (const WorkerEnd &e : ends)
        out += (out.empty() ? "" : " | ") + Describe(e.name, e.done, Ending{e.step, e.kind});
    return out;
}

// The run the table entry asks for, in the form Describe gives a measured one.
std::string Expected(const Cell &cell)
{
    auto worker = [](const char *name, const Ending &ending) {
        return Describe(name, ending.kind == FailureKind::None ? 1 : 0, ending);
    };
    std::string out = worker("capture", cell.capture);
    if (cell.capture.kind == FailureKind::None) {
        out += " | " + worker("query", cell.query);
        out += " | " + worker("program", cell.program);
        if (cell.program.kind == FailureKind::None)
            out += " | " + worker("query", kOk);
    }
    return out + " | " + worker("recapture", kOk);
}

// The table's short form: how the workers that failed ended, and whether the
// image was programmed.
std::string Outcome(const std::vector<WorkerEnd> &ends)
{
    std::string out;
    for (const WorkerEnd &e : ends) {
        std::string part;
        if (e.done == 0)
            part = e.name + " failed: " + e.line;
        else if (e.name == "program")
            part = "programmed";
        if (!part.empty())
            out += (out.empty() ? "" : "; ") + part;
    }
    return out;
}

std::string CellName(const ::testing::TestParamInfo<size_t> &info)
{
    const Cell &cell = kCells[info.param];
    std::string name;
    for (char c : std::string(cell.fault.name) + " in " + cell.phase.name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

// Image data that starts with its information text, where the simulated
// device reads it from, followed by bytes that differ from block to block, so
// that a block written or compared out of place shows.
std::string FirmwareData()
{
    std::string data = std::string(kNewFirmwareInfo) + '\0';
    for (int i = 0; i < 700; ++i)
        data += char((i * 13 + 5) % 251);
    return data;
}

class FaultMatrixCell : public WorkflowFixture, public ::testing::WithParamInterface<size_t> {
protected:
    const Cell &cell() const { return kCells[GetParam()]; }

    std::string LinkPath() const { return (root / "ttyZF").string(); }

    SimOptions CleanOptions() const
    {
        SimOptions o;
        o.installedInfo = kInstalledInfo;
        o.announceGapMs = 20;
        o.linkPath = LinkPath();
        return o;
    }

    SimOptions FaultyOptions() const
    {
        SimOptions o = CleanOptions();
        o.ack = cell().fault.ack;
        o.announceGapMs = cell().fault.announceGapMs;
        o.repeats = cell().fault.repeats;
        if (cell().fault.weakBlock >= 0) {
            SimUnit unit;  // the one unit, as CleanOptions makes it, with a weak block
            unit.installedInfo = o.installedInfo;
            unit.weakBlock = cell().fault.weakBlock;
            o.units.push_back(unit);
        }
        if (cell().phase.command >= 0) {
            SimFault f;
            f.kind = cell().fault.kind;
            f.command = cell().phase.command;
            f.skip = cell().phase.skip;
            f.count = 1;
            f.value = cell().fault.value;
            o.faults.push_back(f);
        }
        return o;
    }

    void WriteImages()
    {
        WriteLoader();
        fs::create_directories(FirmwareDir());
        imageData = FirmwareData();
        ASSERT_TRUE(WriteImageFile((FirmwareDir() / "vkt3k_1_10_0.bin").string(), kNewFirmwareInfo,
                                   0x08010000, SplitIntoBlocks(imageData, 128)));
    }

    // Runs one worker as the window starts it. A worker that does not end in
    // time can neither be joined nor left running under the fixture, so the
    // process ends there, as a failure.
    WorkerEnd Run(const char *name, unsigned long (*proc)(void *), void *arg, unsigned doneMsg,
                  seconds bound)
    {
        recorder.Clear();
        const Clock::time_point t0 = Clock::now();
        std::thread worker(proc, arg);
        if (!recorder.WaitFor(doneMsg, bound)) {
            const std::string hang = std::string(name) + " worker did not end within " +
                                     std::to_string(bound.count()) + " s";
            WriteRow(hang, false, std::chrono::duration<double>(Clock::now() - t0).count(), 0);
            std::fprintf(stderr, "%s in %s: %s\n", cell().fault.name, cell().phase.name, hang.c_str());
            std::fflush(nullptr);
            std::_Exit(1);
        }
        worker.join();
        WorkerEnd end;
        end.name = name;
        end.done = CompletionOf(doneMsg).wParam;
        end.step = g_outcome.failure.step;
        end.kind = g_outcome.failure.kind;
        end.line = WithoutIndent(LastLine());
        end.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        return end;
    }

    WorkerEnd RunCaptureWorker(const char *name)
    {
        return Run(name, CaptureThreadProc, new std::string(LinkPath()), WM_APP_CAPTURE_DONE,
                   kCaptureBound);
    }

    // The operator's part while the capture waits: once the device has taken
    // the capture request and the host's 1 s wait for the acknowledgement is
    // over, power-cycle the device (now acknowledging) or cancel.
    void Operate(Operator op)
    {
        const Clock::time_point giveUp = Clock::now() + seconds(20);
        while (sim->Stats().captures == 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(milliseconds(10));
        std::this_thread::sleep_for(milliseconds(1500));
        if (op == Operator::PowerCycles) {
            sim->SetOptions(CleanOptions());
            sim->PowerCycle();
        } else {
            g_abortCapture = true;
        }
    }

    WorkerEnd RunCaptureWithOperator()
    {
        const Operator op = cell().fault.op;
        std::thread operatorThread;
        if (op != Operator::Waits)
            operatorThread = std::thread([this, op] { Operate(op); });
        WorkerEnd end = RunCaptureWorker("capture");
        if (operatorThread.joinable())
            operatorThread.join();
        return end;
    }

    // capture; query; program the first listed image; query after a success.
    std::vector<WorkerEnd> RunChain()
    {
        std::vector<WorkerEnd> ends{RunCaptureWithOperator()};
        if (ends.back().done != 1)
            return ends;
        ends.push_back(Run("query", QueryThreadProc, nullptr, WM_APP_QUERY_DONE, kQueryBound));
        const FirmwareVersion image = g_fwList.empty() ? FirmwareVersion() : g_fwList.front();
        ends.push_back(Run("program", ProgramThreadProc, new CheckedImage{image, nullptr}, WM_APP_PROGRAM_DONE,
                           kProgramBound));
        if (ends.back().done == 1) {
            ExpectFlashHoldsTheImage();
            ends.push_back(Run("query", QueryThreadProc, nullptr, WM_APP_QUERY_DONE, kQueryBound));
        }
        return ends;
    }

    void ExpectFlashHoldsTheImage() const
    {
        const std::string flash = sim->FlashContents();
        EXPECT_EQ(imageData.size(), flash.size()) << "programming reported complete";
        EXPECT_TRUE(flash == imageData) << "programming reported complete, flash differs from the image";
    }

    // The run reached the request that meets the fault.
    void ExpectFaultyRequestReached() const
    {
        if (cell().phase.command < 0)
            return;
        const std::vector<int> commands = sim->Stats().commands;
        EXPECT_GT(std::count(commands.begin(), commands.end(), cell().phase.command), cell().phase.skip)
            << "the run never reached the faulty request";
    }

    // A fault of the handshake shows in the target library's trace.
    void ExpectTraceMark(const std::string &trace) const
    {
        if (cell().fault.traceMark) {
            EXPECT_NE(std::string::npos, trace.find(cell().fault.traceMark)) << cell().fault.traceMark;
        }
    }

    // The device as the operator finds it afterwards: power-cycled without
    // faults, or, after the cable was pulled, plugged in again at the same
    // port name. The window clears the device state before every capture.
    WorkerEnd Recapture()
    {
        simOptions = CleanOptions();
        if (cell().fault.kind == SimFault::CloseLine && cell().phase.command >= 0) {
            sim.reset();
            EXPECT_TRUE(StartSim());
        } else {
            sim->SetOptions(simOptions);
            sim->PowerCycle();
        }
        ClearDeviceState();
        return RunCaptureWorker("recapture");
    }

    void WriteRow(const std::string &outcome, bool asExpected, double seconds, double cpuSeconds) const
    {
        MatrixRow row;
        row.fault = cell().fault.name;
        row.phase = cell().phase.name;
        row.outcome = outcome;
        row.asExpected = asExpected;
        row.seconds = seconds;
        row.cpuSeconds = cpuSeconds;
        EXPECT_TRUE(WriteMatrixRow(MatrixRowsDir(), GetParam(), row)) << MatrixRowsDir();
    }

    std::string imageData;
};

TEST_P(FaultMatrixCell, EndsAsTheTableSays)
{
    if (MatrixRowsDir().empty()) {
        GTEST_SKIP() << "set ZF_FAULT_MATRIX to a folder for the rows (scripts/test.d/60-fault-matrix.sh)";
    }
    ASSERT_NO_FATAL_FAILURE(WriteImages());
    simOptions = FaultyOptions();
    ASSERT_TRUE(StartSim());

    testing::internal::CaptureStdout();
    const std::clock_t cpu0 = std::clock();
    std::vector<WorkerEnd> ends = RunChain();
    const double cpuSeconds = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    ExpectFaultyRequestReached();
    ends.push_back(Recapture());
    const std::string trace = testing::internal::GetCapturedStdout();
    ExpectTraceMark(trace);

    const std::string measured = Describe(ends);
    EXPECT_EQ(Expected(cell()), measured);
    double seconds = 0;  // the run, without the recapture
    for (size_t i = 0; i + 1 < ends.size(); ++i)
        seconds += ends[i].seconds;
    WriteRow(Outcome(ends), !HasFailure(), seconds, cpuSeconds);
    if (HasFailure())
        std::fprintf(stderr, "Trace of the run:\n%s\n", trace.c_str());
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, FaultMatrixCell, ::testing::Range<size_t>(0, kCellCount), CellName);

// Run after the cells, in a process of its own: every cell left its row (a
// cell that ended otherwise than its entry says has failed already). Prints
// the matrix and keeps it in the test logs.
TEST(FaultMatrixTable, EveryCellLeftItsRow)
{
    const std::string rowsDir = MatrixRowsDir();
    if (rowsDir.empty()) {
        GTEST_SKIP() << "set ZF_FAULT_MATRIX to the folder of the cells' rows";
    }
    std::vector<MatrixRow> rows;
    for (size_t i = 0; i < kCellCount; ++i) {
        MatrixRow row;
        if (!ReadMatrixRow(rowsDir, i, row)) {
            ADD_FAILURE() << "no row for cell " << i << " (" << kCells[i].fault.name << " in "
                          << kCells[i].phase.name << ")";
            row.fault = kCells[i].fault.name;
            row.phase = kCells[i].phase.name;
            row.outcome = "(did not run)";
        }
        rows.push_back(row);
    }
    const std::string table = FormatMatrix(rows);
    std::printf("%s", table.c_str());
    if (const char *logs = std::getenv("ZF_LOGS")) {
        std::ofstream out(std::string(logs) + "/fault-matrix.txt", std::ios::trunc);
        out << table;
        EXPECT_TRUE(out.good()) << logs;
    }
}

}  // namespace
