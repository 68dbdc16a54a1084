// Shows the workflows' progress: on a terminal one updating line per phase
// (and a spinner with the elapsed time while the flash is erased); otherwise
// plain lines at whole tens of percent. Fed by the message sink on the
// worker's thread and ticked by the main thread.
#pragma once

#include <string>

#include "targetlib/capture.h"

// Bar: one updating line per phase (a terminal). Plain: a line at whole tens
// of percent. None: nothing. Events: progress events for a gang's supervisor.
enum class ProgressStyle { Bar, Plain, None, Events };
void ProgressInit(ProgressStyle style);
// What --progress MODE asks for: auto is a bar on a terminal (unless TERM is
// dumb), else plain lines.
ProgressStyle ProgressStyleFor(const std::string &mode);
// Bytes in the blocks that a phase sends, for bytes, throughput and ETA.
void ProgressSetTotalBytes(ProgressPhase phase, double bytes);
// The workflow announced the phase (its log line): its clock starts now.
void ProgressPhaseStarted(ProgressPhase phase);
void ProgressReport(ProgressPhase phase, int percent);
void ProgressEraseBusy(bool busy);
// Redraws what moves by itself (the erase spinner); about ten times a second.
void ProgressTick();
