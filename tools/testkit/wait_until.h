#pragma once

#include <functional>

namespace orvane::testkit {

// Polls the condition every few milliseconds until it holds or timeoutMs
// has passed; true when it held. The one way tests wait for something that
// happens in another thread or process: never a fixed sleep.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

}  // namespace orvane::testkit
