// What a device session shows as it goes, and to whom: zflash's terminal or
// JSON document, the events a worker sends its supervisor, a test. The
// session's steps and outcome are data in its result; these calls are what
// the front end tells people meanwhile. Any thread may call them.
#pragma once

#include <cstdint>
#include <string>

#include "app/outcome.h"
#include "targetlib/capture.h"

class SessionView {
public:
    virtual ~SessionView() = default;
    virtual void Result(const std::string &line) = 0;   // a finding for the reader ("Device:  VKT-3 (VKT3K)")
    virtual void Log(const std::string &line) = 0;      // a line of the operator's log
    virtual void KeepLog(const std::string &line) = 0;  // kept with the session's log, not shown
    virtual void Warning(const std::string &text) = 0;
    virtual void Error(const std::string &text) = 0;
    virtual void Notice(const std::string &text) = 0;
    virtual void Step(WorkStep step, uint64_t bytes) = 0;  // a step starts; bytes: what it sends in blocks
    virtual void Identified(const std::string &product, const std::string &hw) = 0;
    virtual void Progress(ProgressPhase phase, int percent) = 0;
    virtual void EraseBusy(bool busy) = 0;
    virtual void PortPresence(bool present) = 0;  // the port's USB adapter was pulled (false) or is back
    virtual void Tick() = 0;            // about ten times a second while a workflow runs
    virtual void WorkflowStarts() = 0;  // each workflow is about to start (the session so far is known)
};

// A view that shows nothing: the default until a front end sets its own,
// and the base of a view that listens to only some of it.
class QuietSessionView : public SessionView {
public:
    void Result(const std::string &) override {}
    void Log(const std::string &) override {}
    void KeepLog(const std::string &) override {}
    void Warning(const std::string &) override {}
    void Error(const std::string &) override {}
    void Notice(const std::string &) override {}
    void Step(WorkStep, uint64_t) override {}
    void Identified(const std::string &, const std::string &) override {}
    void Progress(ProgressPhase, int) override {}
    void EraseBusy(bool) override {}
    void PortPresence(bool) override {}
    void Tick() override {}
    void WorkflowStarts() override {}
};

// The view of this process's session (one device per process: the target
// library has one port). Set once by the front end before a session runs.
void SetSessionView(SessionView *view);
SessionView &View();
