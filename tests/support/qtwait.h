#pragma once
// Waits for Qt tests: the event loop runs until done() holds, or for a fixed
// time.

#include <functional>

namespace zavmo::test {

// False when timeoutMs passed first.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs the event loop, deferred deletions included, for ms: for what has no
// condition to wait on (a queued call to land, a timer that must not fire).
void settle(int ms);

} // namespace zavmo::test
