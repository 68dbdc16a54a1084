// zflash's own texts. Text mode: results and the operator's log on standard
// output, problems on standard error. JSON mode: standard output carries only
// the one document that FinishOutput writes; the log and problems go to
// standard error. What is shown is made terminal-safe (control characters
// escaped); the JSON document keeps texts exact. Every function may be
// called from any thread.
#pragma once

#include <string>

#include "tools/zflash/result.h"

struct Event;  // station/events.h

// Text: for people. Json: one document on standard output. Events: a worker
// of a gang, whose standard output carries one JSON object per line for the
// supervisor (log lines, steps, progress, problems, the record).
enum class OutputMode { Text, Json, Events };
void InitOutput(OutputMode mode);
OutputMode CurrentOutputMode();
// Events mode: the event's line (station/events.h); otherwise nothing.
void EmitEvent(const Event &event);

void PrintResult(const std::string &line);   // text mode only
void PrintLog(const std::string &line);      // a line of the operator's log
void KeepLog(const std::string &line);       // kept in the result's log, not shown
void PrintWarning(const std::string &text);  // standard error, kept in the result
void PrintError(const std::string &text);    // standard error, the first one is the result's "error"
void PrintNotice(const std::string &text);   // standard error, not kept

// Where the target library's trace (and the serial port's refusals) go.
enum class TraceRoute { Discard, Stdout, Stderr };
void RouteLibraryTrace(TraceRoute route);

// Completes the result (seconds since InitOutput, log, warnings, error),
// writes it as JSON in JSON mode, flushes everything and returns its exit
// code. Called once, at the end.
int FinishOutput(CommandResult &result);

// The error (errno) of the first write to standard output that failed (its
// reader went away, the disk is full), else 0: the output is lost, the job
// goes on.
int StdoutError();

// The result the running command fills in (main thread only), so that an
// abort can still finish it.
void SetResultInProgress(CommandResult *result);
CommandResult *ResultInProgress();

// The live line on standard error (progress on a terminal).
void ShowLive(const std::string &text);  // draws over the current live line
void EndLive();                          // leaves it standing and moves to the next line
