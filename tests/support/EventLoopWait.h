#pragma once

#include <functional>

namespace orv::test {

// Runs the Qt event loop until done() holds or timeoutMs pass; returns done(). done() is checked after
// every event and at least every checkMs; between checks the loop sleeps, so a wait costs no CPU of its own.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 3000, int checkMs = 50);

} // namespace orv::test
