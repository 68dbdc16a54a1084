// The target library writes its trace to standard output with printf. zflash
// keeps its own standard output on a duplicate of descriptor 1 and points
// descriptor 1 wherever the library's trace should go.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// zflash's own standard output: a duplicate of descriptor 1 as it was at the
// first call (standard output itself if it cannot be duplicated).
FILE *OwnStdout();

enum class TraceRoute { Discard, Stdout, Stderr };
void RouteLibraryTrace(TraceRoute route);

// Runs `fn` with the library's trace collected instead of routed, and returns
// it; the text is then passed on to the route in force. Only for code that
// runs while no worker thread uses the library.
std::string CollectLibraryTrace(const std::function<void()> &fn);
