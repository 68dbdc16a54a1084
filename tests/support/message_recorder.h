// A message sink for tests: records every worker message with the text it
// carries (and frees that text, as the window would), and lets a test wait
// for a message posted from another thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/appstate.h"
#include "app/outcome.h"

struct PostedMessage {
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
    bool hasText;      // lParam carried a string (log line or query summary)
    std::string text;
};

class MessageRecorder {
public:
    MessageRecorder()
    {
        Current() = this;
        SetMessageSink(&Record);
        SetStepHook(&RecordStep);
    }
    ~MessageRecorder()
    {
        SetStepHook(nullptr);
        SetMessageSink(nullptr);
        Current() = nullptr;
    }
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    std::vector<PostedMessage> Messages() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }

    std::vector<PostedMessage> Of(unsigned msg) const
    {
        std::vector<PostedMessage> out;
        for (const PostedMessage &m : Messages())
            if (m.msg == msg)
                out.push_back(m);
        return out;
    }

    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        for (const PostedMessage &m : Of(WM_APP_LOG))
            lines.push_back(m.text);
        return lines;
    }

    // True once `msg` has been recorded, false after `timeout` without it.
    bool WaitFor(unsigned msg, std::chrono::milliseconds timeout) const
    {
        return WaitUntil(timeout, [&](const PostedMessage &m) { return m.msg == msg; });
    }

    // True once the log line `line` has been recorded.
    bool WaitForLine(const std::string &line, std::chrono::milliseconds timeout) const
    {
        return WaitUntil(timeout, [&](const PostedMessage &m) {
            return m.msg == WM_APP_LOG && m.text == line;
        });
    }

    // The steps the workers reported through the step hook, in order.
    std::vector<WorkStep> Steps() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return steps;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.clear();
        steps.clear();
    }

private:
    template <class Match>
    bool WaitUntil(std::chrono::milliseconds timeout, Match match) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return posted.wait_for(lock, timeout, [&] {
            for (const PostedMessage &m : messages)
                if (match(m))
                    return true;
            return false;
        });
    }

    static MessageRecorder *&Current()
    {
        static MessageRecorder *current = nullptr;
        return current;
    }

    static void Record(unsigned msg, uintptr_t wParam, intptr_t lParam)
    {
        PostedMessage m{msg, wParam, lParam, false, {}};
        if ((msg == WM_APP_LOG || msg == WM_APP_QUERY_DONE) && lParam != 0) {
            std::string *text = reinterpret_cast<std::string *>(lParam);
            m.hasText = true;
            m.text = *text;
            delete text;
        }
        MessageRecorder *self = Current();
        std::lock_guard<std::mutex> lock(self->mutex);
        self->messages.push_back(m);
        self->posted.notify_all();
    }

    static void RecordStep(WorkStep step, uint64_t)
    {
        MessageRecorder *self = Current();
        std::lock_guard<std::mutex> lock(self->mutex);
        self->steps.push_back(step);
    }

    mutable std::mutex mutex;
    mutable std::condition_variable posted;
    std::vector<PostedMessage> messages;
    std::vector<WorkStep> steps;
};
