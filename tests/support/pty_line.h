// The far end of a pseudo-terminal, driven byte by byte from a test: what the
// host library sends can be read back exactly, and replies are written
// exactly as given (stale bytes, damaged frames, hand-made acknowledgements).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyLine {
public:
    PtyLine();   // creates the pty; Path() is empty when that failed
    ~PtyLine();  // stops the answering thread, closes the pty
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    const std::string &Path() const { return path; }
    void Send(const std::string &bytes);
    // What the host has sent since the last call, waiting up to waitMs for
    // at least `atLeast` bytes.
    std::string Received(size_t atLeast, int waitMs);

    // From now on each request frame the host sends is answered with
    // reply(frame) (an empty answer is silence), on a thread of the line's own.
    void Answer(std::function<std::string(const std::string &frame)> reply);
    // The request frames answered so far, in order.
    std::vector<std::string> Requests() const;

private:
    void AnswerLoop();
    std::string TakeFrame();

    int master = -1;
    std::string path;
    std::string pending;  // received, not yet taken as a frame
    std::function<std::string(const std::string &)> reply;
    std::thread answerer;
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::vector<std::string> requests;
};

// The bytes of a frame with `code` and `payload` laid out as the library lays
// out its own requests.
std::string FrameOf(unsigned char code, const std::string &payload);
