// A USB serial adapter between the simulated device and the host, as an FTDI
// chip behaves under Linux's ftdi_sio: bytes toward the host wait in the
// chip's buffer until a packet's worth (62) has gathered or its latency timer
// runs out. The timer counts from the byte that enters the empty buffer, so a
// short reply always waits the whole time. Its value (ms) is read from a file,
// as the driver exposes it (latency_timer), each time the buffer starts to
// fill: a host that changes the file is obeyed from the next reply on.
// Bytes toward the device pass at once. No I/O but reading the timer file.
#pragma once

#include <chrono>
#include <optional>
#include <string>

class SimAdapter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kPacketBytes = 62;
    static constexpr int kDefaultTimerMs = 16;

    // What the adapter hands the host: whole packets, or the held bytes when
    // the timer ran out. `droppable`: every byte of it was (announcements).
    struct Output {
        std::string bytes;
        bool droppable = true;
    };

    // `timerFile` empty: the timer stays at 16 ms.
    void SetTimerFile(const std::string &timerFile);
    // Bytes from the device at `now`; returns what goes on to the host at once.
    Output Push(const std::string &bytes, Clock::time_point now, bool droppable);
    // The held bytes once their timer has run out at `now`; else nothing.
    Output Due(Clock::time_point now);
    // When the held bytes go out; none while the buffer is empty.
    std::optional<Clock::time_point> Deadline() const;
    // The timer in force for the bytes held or last handed on (ms).
    int TimerMs() const { return timerMs; }
    // The host closed the port: what the adapter held is lost.
    void Clear();

private:
    Output TakeHeld();
    // The file's value; the last one read when it is missing, empty (being
    // rewritten) or not a number from 1 to 255.
    int ReadTimer();

    std::string file;
    std::string held;
    bool heldDroppable = true;
    Clock::time_point deadline;
    int timerMs = kDefaultTimerMs;
};
