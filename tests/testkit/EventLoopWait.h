#pragma once

#include <functional>

// Runs the window thread's real event loop (timers, idle calls, hand-offs) for
// `ms` milliseconds.
void runFor(int ms);

// Runs it until `done`, looking every 5 ms; false when `timeoutMs` passed first.
bool runUntil(const std::function<bool()>& done, int timeoutMs);

// Runs it until a call posted now has run: whatever was queued before, a worker's
// hand-off included, has had its turn by then. False when that took `timeoutMs`.
bool serveWhatIsQueued(int timeoutMs = 5000);
