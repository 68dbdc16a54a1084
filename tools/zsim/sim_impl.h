// Inside SimDevice: the device thread, its line and its state.
//
// Locking: `m` guards the machine, the statistics, the fault counters, the
// receive path and the announcement schedule. The device thread holds it
// while it works on them and never while it waits (poll, wire time, erase)
// or writes to the line, so the public accessors answer at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"
#include "tools/zsim/sim_adapter.h"
#include "tools/zsim/sim_machine.h"
#include "tools/zsim/sim_pty.h"
#include "tools/zsim/simdevice.h"

using SimClock = std::chrono::steady_clock;

struct SimDevice::Impl {
    static constexpr int kRxCapacity = 2048;
    static constexpr int kRxStorage = kRxCapacity + 64;

    mutable std::mutex m;
    SimMachine mach;
    SimStats stats;
    std::vector<int> faultSeen;
    int requests = 0;
    bool dead = false;              // the line is closed for good

    alignas(std::max_align_t) unsigned char queueStore[kRxStorage];
    alignas(std::max_align_t) unsigned char packetStore[kRxStorage];
    QueueReader *rxReader = nullptr;
    QueueWriter *rxWriter = nullptr;
    Packetizer *packetizer = nullptr;
    std::optional<SimClock::time_point> inputStart;  // first byte of the message being received
    SimClock::time_point nextAnnounce;
    SimClock::time_point deafUntil;  // the starting flash loader hears nothing before this

    SimPty pty;                     // the master belongs to the device thread
    SimAdapter adapter;             // the device thread's, used when options.adapter
    std::string portPath;
    bool linkMade = false;
    bool hostWasOpen = false;
    std::thread thread;
    std::atomic<bool> stopping{false};

    // simdevice.cpp (callers hold `m`)
    void ResetReceive();
    void PowerUp();
    void Log(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // sim_line.cpp (device thread)
    void Run();
    void ReadInput();
    void FeedByte(unsigned char c);
    void AnnounceIfDue();
    void ChatterIfDue();
    bool Chattering() const;  // caller holds `m`
    void OnHostClosed();
    SimClock::time_point WakeTime();
    // `atBaud` 0: at the device's current baud.
    bool Send(const unsigned char *data, size_t n, bool droppable, unsigned atBaud = 0);
    size_t WriteToHost(const char *data, size_t n, bool droppable, SimClock::time_point giveUp);
    size_t ToAdapter(const char *data, size_t n, bool droppable);
    void ReleaseAdapterIfDue();
    void WaitWire(SimClock::time_point start, size_t bytes);
    void Pause(int ms);

    // sim_requests.cpp (device thread)
    void OnCapture(SimClock::time_point start);
    void HandleRequest(unsigned char code, const std::string &payload, size_t frameBytes,
                       SimClock::time_point start);
    void SendReply(unsigned char code, const SimReply &r, const SimFault *fault);
    void HangUp();
};
