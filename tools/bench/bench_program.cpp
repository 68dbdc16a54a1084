// Programming throughput: capture the device, start a flash loader at the
// chosen rate, erase, then time ProgramFlash + VerifyFlash of one image and
// compare the time with what its frames need on the wire. Also reported: the
// time the session's first requests waited for a quiet line (after the
// capture and after the loader's start).
#include <chrono>
#include <random>
#include <thread>

#include "targetlib/capture.h"
#include "targetlib/libstate.h"
#include "targetlib/transact.h"
#include "tools/bench/bench.h"
#include "devicelink/ports/adapter_tuning.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

// Steps the capture as the capture workflow does, 15 ms apart.
bool Capture(double limitSeconds)
{
    double t0 = WallSeconds();
    int state = 1;
    while (WallSeconds() - t0 < limitSeconds) {
        state = CaptureTargetSM(state);
        if (state == 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        if (state == 5)
            return true;
    }
    return false;
}

// `bytes` of firmware (information text first, then pseudo-random data) in
// blocks of `blockSize`.
IMG FirmwareImage(size_t bytes, size_t blockSize)
{
    IMG img;
    img.address = 0x08010000;
    img.info = "VN:9.9.9\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    std::string data = img.info + '\0';
    std::mt19937 random(7);
    while (data.size() < bytes)
        data += char(random() & 0xFF);
    img.blocks = SplitIntoBlocks(data, blockSize, 1);
    return img;
}

// Bytes on the wire for one pass over the image: each block's request frame
// and the 6-byte empty status frame that answers it.
double WireBytes(const IMG &img, unsigned char code)
{
    static unsigned char frame[2048];
    double bytes = 0;
    for (const BLK &b : img.blocks)
        bytes += BuildFrame(frame, code, b.data) + 6;
    return bytes;
}

bool Prepare(const std::string &port, unsigned baud)
{
    if (!OpenPort(port.c_str()) || !Capture(10))
        return false;
    IMG loader = LoaderImage(baud);
    return RAMExec(&loader, false, baud) && EraseFlash(2);
}

}  // namespace

int BenchProgram(const std::vector<std::string> &args)
{
    const std::string port = Option(args, "--port", "");
    const unsigned baud = unsigned(std::stoul(Option(args, "--baud", "921600")));
    const size_t size = std::stoul(Option(args, "--size", "65536"));
    const size_t block = std::stoul(Option(args, "--block", "1143"));
    if (port.empty() || block == 0 || block > size_t(kMaxPayload)) {
        std::fprintf(stderr, "zbench program: --port P [--baud B] [--size BYTES] [--block 1..1143]\n");
        return 2;
    }
    ResetTransactTimes();
    // The port's adapter, lowered to 1 ms for the run as zflash does it.
    const std::string sysfs = Option(args, "--sysfs-root", "/sys");
    const int timerBefore = FindAdapterTimer(port, sysfs).ms;
    AdapterTuning adapter;
    std::string restoreError;
    if (Flag(args, "--low-latency"))
        adapter.Begin(port, sysfs);
    if (!Prepare(port, baud)) {
        std::fprintf(stderr, "zbench program: the device on %s did not start its flash loader\n", port.c_str());
        ClosePort();
        adapter.Restore(restoreError);
        return 1;
    }
    // The quiet line that the first request after the capture and after the
    // loader's start wait for: the session's fixed cost.
    const TransactTimes setup = GetTransactTimes();
    const int timerDuring = FindAdapterTimer(port, sysfs).ms;  // with the port open
    IMG img = FirmwareImage(size, block);
    ResetTransactTimes();
    unsigned tx0 = Port.TxCount(), rx0 = Port.RxCount();
    double cpu0 = CpuSeconds(), t0 = WallSeconds();
    bool ok = ProgramFlash(&img) && VerifyFlash(&img);
    double elapsed = WallSeconds() - t0, cpu = CpuSeconds() - cpu0;
    double lineBytes = double(Port.TxCount() - tx0) + double(Port.RxCount() - rx0);
    TransactTimes times = GetTransactTimes();
    ClosePort();
    const bool restored = adapter.Restore(restoreError);
    double frameBytes = WireBytes(img, CmdProgram) + WireBytes(img, CmdVerify);
    double wire = frameBytes * 10 / baud;
    PrintResult("program", {{"ok", ok ? "1" : "0"}, {"baud", std::to_string(baud)},
                            {"size", std::to_string(size)}, {"block", std::to_string(block)},
                            {"blocks", std::to_string(img.blocks.size())},
                            {"elapsed", Fixed(elapsed, 3)}, {"wire", Fixed(wire, 3)},
                            {"ratio", Fixed(elapsed / wire, 3)}, {"cpu", Fixed(cpu, 3)},
                            {"cpuPct", Fixed(100 * cpu / elapsed, 1)},
                            {"drain", Fixed(times.drainSeconds, 3)}, {"send", Fixed(times.sendSeconds, 3)},
                            {"wait", Fixed(times.waitSeconds, 3)}, {"calls", std::to_string(times.calls)},
                            {"requests", std::to_string(times.requests)},
                            {"owedDrains", std::to_string(times.owedDrains)},
                            {"owed", Fixed(times.owedSeconds, 3)},
                            {"quiet", Fixed(setup.quietSeconds, 3)},
                            {"quietDrains", std::to_string(setup.quietDrains)},
                            {"frameBytes", Fixed(frameBytes, 0)}, {"lineBytes", Fixed(lineBytes, 0)},
                            {"timerBefore", std::to_string(timerBefore)},
                            {"timerDuring", std::to_string(timerDuring)},
                            {"timerRestored", restored ? "1" : "0"}});
    return ok && restored ? 0 : 1;
}
