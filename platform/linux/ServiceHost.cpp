#include "platform/ServiceHost.h"

// On Linux the service manager (systemd) starts the program as it is, in the
// foreground, and its standard error goes to the journal.

namespace platform {

int RunServiceHost(int argc, char* argv[], int (*body)(int, char*[])) {
    return body(argc, argv);
}

void ServiceRunning() {}

bool RunsAsService() {
    return false;
}

bool ReportServiceEvent(std::optional<ServiceEvent>, const QString&) {
    return false;
}

} // namespace platform
