// Inside SimDevice: the device thread, its line and its state.
//
// Locking: `m` guards the machine, the statistics, the fault counters, the
// receive path, the announcement schedule, the fixture and the adapter's
// state. The device thread holds it while it works on them and never while
// it waits (poll, wire time, erase) or writes to the line, so the public
// accessors answer at once.
//
// Power: `power` counts power-ups and take-outs. Work the device thread
// began for one power-up (a request, a reply, an announcement) is dropped as
// soon as the count moves on: a unit taken out stops mid-reply.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"
#include "tools/zsim/sim_adapter.h"
#include "tools/zsim/sim_fixture.h"
#include "tools/zsim/sim_machine.h"
#include "tools/zsim/sim_pty.h"
#include "tools/zsim/simdevice.h"

using SimClock = std::chrono::steady_clock;

// Time `bytes` take on the wire at `baud`: 10 bits a byte.
SimClock::duration WireTime(size_t bytes, unsigned baud);

struct SimDevice::Impl {
    static constexpr int kRxCapacity = 2048;
    static constexpr int kRxStorage = kRxCapacity + 64;

    mutable std::mutex m;
    SimMachine mach;
    SimStats stats;
    std::vector<int> faultSeen;
    int requests = 0;
    bool dead = false;              // the line is closed for good

    SimFixture fixture;
    std::optional<SimUnitState> inside;  // the unit in the fixture (flash, hw: in `mach`)
    std::atomic<unsigned> power{0};
    bool capturedSincePlugIn = false;    // or since its re-seat
    SimClock::time_point pluggedAt;      // the unit's plug-in or re-seat
    SimClock::time_point quietSince;     // the host's last byte or the device's last reply
    std::vector<SimFixtureEvent> events; // not yet handed to the sink
    std::function<void(const SimFixtureEvent &)> eventSink;
    std::mutex sinkOrder;                // events reach the sink in the order they happened

    // The USB adapter: pulled and plugged back by the device thread, on its
    // own (a fault, a due time) or on request of another thread.
    enum class PortRequest { None, Unplug, Replug } portRequest = PortRequest::None;
    int portBackMs = -1;
    bool unplugged = false;
    std::optional<SimClock::time_point> replugAt;
    std::condition_variable portChanged;  // a request was carried out

    alignas(std::max_align_t) unsigned char queueStore[kRxStorage];
    alignas(std::max_align_t) unsigned char packetStore[kRxStorage];
    QueueReader *rxReader = nullptr;
    QueueWriter *rxWriter = nullptr;
    Packetizer *packetizer = nullptr;
    std::optional<SimClock::time_point> inputStart;  // first byte of the message being received
    // The host's bytes counted in the order they reach the device: those
    // handed to FeedByte, and those of the last read not handed over yet.
    uint64_t bytesFed = 0;
    size_t bytesNotFed = 0;
    uint64_t inputStartByte = 0;    // the count at the first byte of the message being received
    // The request answered last, and how many of the host's bytes had
    // reached the device when it began the reply (SimRepeats).
    struct Answered {
        unsigned char code = 0;
        std::string payload;
        SimReply reply;
        uint64_t heardBy = 0;
        unsigned epoch = 0;
    };
    std::optional<Answered> answered;
    SimClock::time_point nextAnnounce;
    SimClock::time_point deafUntil;  // the starting flash loader hears nothing before this

    SimPty pty;                     // the master belongs to the device thread
    SimAdapter adapter;             // the device thread's, used when options.adapter
    std::string portPath;
    bool linkMade = false;
    std::atomic<bool> hostWasOpen{false};  // the device thread writes it; tests read it
    std::thread thread;
    std::atomic<bool> stopping{false};

    // simdevice.cpp (callers hold `m`)
    void ResetReceive();
    void PowerUp();
    void Log(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // sim_fixture_device.cpp (callers hold `m`, but FlushEvents and OperateFixture)
    void InstallUnit(SimUnitState state, const SimUnitRecord &record);
    void Arrived();
    void TakeOut();
    void PlugIn(const SimUnit &unit);
    bool Reseat();
    SimUnitRecord InsideRecord() const;
    void Emit(SimFixtureEvent::Kind kind, int unit);
    void FlushEvents();
    void OperateFixture();          // device thread: the operator's due step

    // sim_unplug.cpp (device thread; PullAdapter and PlugAdapter hold `m`)
    void ServicePort(bool mayReplug);
    void PullAdapter(int backAfterMs);
    bool PlugAdapter();

    // sim_line.cpp (device thread)
    void Run();
    void ReadInput();
    void FeedByte(unsigned char c);
    void AnnounceIfDue();
    void ChatterIfDue();
    bool Chattering() const;  // caller holds `m`
    void OnHostClosed();
    SimClock::time_point WakeTime();
    // For the power-up `epoch`; `atBaud` 0: at the device's current baud.
    bool Send(const unsigned char *data, size_t n, bool droppable, unsigned epoch, unsigned atBaud = 0);
    size_t WriteToHost(const char *data, size_t n, bool droppable, SimClock::time_point giveUp);
    size_t ToAdapter(const char *data, size_t n, bool droppable);
    void ReleaseAdapterIfDue();
    void WaitWire(SimClock::time_point start, size_t bytes);
    static constexpr unsigned kAnyPower = ~0u;
    // Sleeps `ms`, looking after the adapter; with an `epoch`, ends early
    // once that power-up is over.
    void Pause(int ms, unsigned epoch = kAnyPower);

    // sim_requests.cpp (device thread)
    void OnCapture(SimClock::time_point start, unsigned epoch);
    // `firstByte`: the request's first byte in the count of the host's bytes.
    void HandleRequest(unsigned char code, const std::string &payload, size_t frameBytes,
                       SimClock::time_point start, uint64_t firstByte, unsigned epoch);
    const SimFault *MatchFault(unsigned char code);  // caller holds `m`
    // The answer to a request that repeats the one answered last and came
    // before that answer began, or null (caller holds `m`).
    const SimReply *RepeatedAnswer(unsigned char code, const std::string &payload, uint64_t firstByte,
                                   unsigned epoch) const;
    void SendReply(unsigned char code, const std::string &request, const SimReply &r, const SimFault *fault,
                   unsigned epoch);
    uint64_t BytesHeardNow();  // the host's bytes that have reached the device by now
    void HangUp();
};
