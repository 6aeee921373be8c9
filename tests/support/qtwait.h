#pragma once
// A bounded wait for Qt tests: runs the event loop until done() holds.

#include <functional>

namespace zavmo::test {

// False when timeoutMs passed first.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace zavmo::test
