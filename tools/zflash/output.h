// zflash's own texts. Text mode: results and the operator's log on standard
// output, problems on standard error. JSON mode: standard output carries only
// the one document that FinishOutput writes; the log and problems go to
// standard error. Every function may be called from any thread.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

void InitOutput(bool json);
bool JsonMode();

void PrintResult(const std::string &line);   // text mode only
void PrintLog(const std::string &line);      // a line of the operator's log
void PrintWarning(const std::string &text);  // standard error, kept in the report
void PrintError(const std::string &text);    // standard error, the first one is the report's "error"
void PrintNotice(const std::string &text);   // standard error, not kept

// The JSON document under construction: main thread only.
nlohmann::json &Report();
// Completes the document (exit code, outcome, log, error), writes it in JSON
// mode, flushes everything and returns exitCode. Called once, at the end.
int FinishOutput(int exitCode);

// The live line on standard error (progress on a terminal).
bool StderrIsTerminal();
void ShowLive(const std::string &text);  // draws over the current live line
void EndLive();                          // leaves it standing and moves to the next line
