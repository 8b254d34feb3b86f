// The one way the program ends itself (refused start-up, confirmed close): every such end goes
// through exitProcess, so tests can catch it instead of losing the test process.
#pragma once

#include <functional>

// Flushes the C library's streams and ends the process with `status` at once, running no
// destructors: callers close their files first (the recordings are synced block by block).
[[noreturn]] void exitProcess(int status);

// Called by exitProcess instead of ending the process (tests: throw). If it returns, the process
// ends anyway. An empty handler restores the real exit. Returns the handler that was in place.
using ExitHandler = std::function<void(int status)>;
ExitHandler setExitHandler(ExitHandler handler);
