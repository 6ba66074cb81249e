#pragma once

#include <QString>
#include <optional>

namespace platform {

// How the program without a window runs: in the foreground of a console, or,
// on Windows, as the service of the system's service control manager, which
// starts it in a session without a desktop (no box, no tray, ever).

// The option by which the service control manager starts the program as the
// service (the installer puts it in the service's command line).
inline const QString kServiceOption = QStringLiteral("--service");

// Calls `body` and returns its exit status. When the service control manager
// started the program with kServiceOption, `body` runs as the service `Tolvane` on the thread that
// the manager gives it, which is then the program's Qt thread (`body` makes
// the QCoreApplication), and the manager is told the states: start pending
// until ServiceRunning, running, stop pending once it asked the program to end
// (OnTerminationRequest's request), stopped when `body` has returned. Anywhere
// else `body` runs on the calling thread. Call it first in main, before
// anything of Qt.
int RunServiceHost(int argc, char* argv[], int (*body)(int argc, char* argv[]));

// The program now does its work: the manager is told it runs.
void ServiceRunning();

// What the program tells its operator. Its number is the event id in the
// Windows event log, where the texts of the message table say it in Japanese.
enum class ServiceEvent {
    Started = 1,
    Stopped = 2,
    Sent = 3,
    SendFailed = 4,
    ReportKept = 5,
    GivenUp = 6,
    SettingsFault = 7,
    RecipientsRefused = 8,
};

// True when the service control manager started the program.
bool RunsAsService();

// For a program that runs as the service: writes the event, if there is one,
// to the event log's Application log, source "Tolvane", with `text` as its
// one insertion string, and returns true. False anywhere else, where the
// program writes to standard error itself.
bool ReportServiceEvent(std::optional<ServiceEvent> event, const QString& text);

} // namespace platform
