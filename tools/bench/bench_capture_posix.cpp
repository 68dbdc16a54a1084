// Capture latency: from the last byte of the boot loader's announcement to
// the state machine's "  Target Captured.\n", stepped as the capture workflow
// steps it (15 ms sleep after each step). A boot loader played on a pty in
// this process stamps the end of each announcement, so both ends of the
// measurement read the same clock.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "targetlib/capture.h"
#include "tools/bench/bench.h"
#include "tools/bench/bench_pty_posix.h"

namespace {

struct Trial {
    std::atomic<bool> go{false};
    std::atomic<double> announced{0};
};

// The boot loader for `trials` captures: waits for the host's loop to run, a
// random 0..40 ms more (so the announcement ends at any point of a step),
// announces, and acknowledges "TargetStop!".
void PlayBootLoader(int fd, int trials, Trial &t)
{
    static const char announce[] = "Zelvo Boot Loader";
    static const unsigned char ack[6] = {0x81, 0xA1, 0, 0, 0, 0};
    std::mt19937 random(11);
    for (int i = 0; i < trials; ++i) {
        while (!t.go.exchange(false))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        WriteAll(fd, (const unsigned char *)announce, std::strlen(announce));
        t.announced = WallSeconds();
        unsigned char stop[11];
        if (ReadExactly(fd, stop, sizeof stop, 2000) && std::memcmp(stop, "TargetStop!", 11) == 0)
            WriteAll(fd, ack, sizeof ack);
    }
}

// One capture as the workflow runs it; seconds from the announcement's end
// to the capturing step's return, or a negative value when none happened.
double CaptureOnce(Trial &t)
{
    t.announced = 0;
    t.go = true;
    double limit = WallSeconds() + 5;
    int state = 1;
    while (WallSeconds() < limit) {
        state = CaptureTargetSM(state);
        if (state == 5)
            return WallSeconds() - t.announced;
        if (state == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    return -1;
}

}  // namespace

int BenchCapture(const std::vector<std::string> &args)
{
    const int trials = std::stoi(Option(args, "--trials", "50"));
    std::string slave;
    int fd = OpenPeerPty(slave);
    if (fd < 0 || trials <= 0 || !OpenPort(slave.c_str()))
        return 1;
    Trial t;
    std::thread bootLoader(PlayBootLoader, fd, trials, std::ref(t));
    std::vector<double> ms;
    for (int i = 0; i < trials; ++i) {
        double s = CaptureOnce(t);
        if (s < 0)
            break;
        ms.push_back(s * 1000);
    }
    bootLoader.join();
    ClosePort();
    close(fd);
    if (ms.size() != size_t(trials))
        return 1;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    PrintResult("capture", {{"trials", std::to_string(trials)}, {"minMs", Fixed(ms.front(), 1)},
                            {"meanMs", Fixed(sum / ms.size(), 1)},
                            {"p95Ms", Fixed(ms[ms.size() * 95 / 100], 1)}, {"maxMs", Fixed(ms.back(), 1)}});
    return 0;
}
