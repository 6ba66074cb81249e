#pragma once

#include <functional>

namespace platform {

// Calls `onRequest` on the thread of the event loop, once, when the program is
// asked to end: SIGTERM or SIGINT on Linux; Ctrl+C, Ctrl+Break or the closing
// of its console on Windows. Set once, after the QCoreApplication exists.
void OnTerminationRequest(std::function<void()> onRequest);

} // namespace platform
