#pragma once

namespace platform {

// Asks the program to end as Ctrl+C does: the request of OnTerminationRequest
// runs on the event loop's thread, once. From any thread; the service's
// control handler asks this way.
void RequestTermination();

} // namespace platform
