#pragma once

#include <functional>

namespace nimbra::test {

// Runs the Qt event loop until condition() holds or timeoutMs passes; true when it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs the Qt event loop for the given time.
void pumpFor(int ms);

} // namespace nimbra::test
