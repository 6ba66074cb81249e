#include "platform/ServiceHost.h"

#include "platform/windows/TerminationRequest.h"
#include "tolvane_events.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <windows.h>

// The service runs on the thread that the service control manager starts for
// ServiceMain: it makes the QCoreApplication there and runs the event loop to
// the end, while the process's first thread stays in the dispatcher, which
// calls the control handler. The handler only reports stop pending and hands
// the request to the event loop.

namespace platform {

namespace {

// How long a stop may take, as the manager is told: the engine gives up a mail
// under way at once, so the program ends well within it.
constexpr DWORD kStopWaitHintMs = 5000;
// How long the start may take: the settings files are read and the folder's
// lock taken, nothing more.
constexpr DWORD kStartWaitHintMs = 30000;

// Each event's id in the message table, in the order of ServiceEvent; the
// severity in its two top bits.
constexpr DWORD kEventIds[] = {MSG_STARTED, MSG_STOPPED,  MSG_SENT,           MSG_SEND_FAILED,
                               MSG_KEPT,    MSG_GIVEN_UP, MSG_SETTINGS_FAULT, MSG_REFUSED};
static_assert((MSG_STARTED & 0xFFFF) == static_cast<DWORD>(ServiceEvent::Started));
static_assert((MSG_REFUSED & 0xFFFF) == static_cast<DWORD>(ServiceEvent::RecipientsRefused));
static_assert(std::size(kEventIds) == static_cast<std::size_t>(ServiceEvent::RecipientsRefused));

struct Host {
    int argc = 0;
    char** argv = nullptr;
    int (*body)(int, char*[]) = nullptr;
    int exitStatus = 0;
    SERVICE_STATUS_HANDLE handle = nullptr;
    HANDLE eventSource = nullptr;
    std::mutex mutex;
    SERVICE_STATUS status{};
} host;

void setState(DWORD state, DWORD waitHint = 0, int exitStatus = 0) {
    const std::lock_guard lock(host.mutex);
    SERVICE_STATUS& status = host.status;
    // A program that could not start (its settings, its lock) stops with its
    // exit status as the service's own error code.
    status.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitStatus);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
            : 0;
    status.dwWaitHint = waitHint;
    status.dwCheckPoint =
        state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : status.dwCheckPoint + 1;
    SetServiceStatus(host.handle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PRESHUTDOWN:
        setState(SERVICE_STOP_PENDING, kStopWaitHintMs);
        RequestTermination();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, LPWSTR* names) {
    host.handle = RegisterServiceCtrlHandlerExW(names[0], control, nullptr);
    if (!host.handle)
        return;
    host.eventSource = RegisterEventSourceW(nullptr, L"Tolvane");
    setState(SERVICE_START_PENDING, kStartWaitHintMs);
    host.exitStatus = host.body(host.argc, host.argv);
    if (host.eventSource)
        DeregisterEventSource(std::exchange(host.eventSource, nullptr));
    setState(SERVICE_STOPPED, 0, host.exitStatus);
}

} // namespace

int RunServiceHost(int argc, char* argv[], int (*body)(int, char*[])) {
    host.argc = argc;
    host.argv = argv;
    host.body = body;
    // Only when asked: started any other way (a console, a scheduled task),
    // the program never talks to the service control manager.
    if (std::find(argv + 1, argv + argc, kServiceOption.toStdString()) == argv + argc)
        return body(argc, argv);
    // The name is the one that the manager started; for a service in a
    // process of its own it is not compared.
    wchar_t name[] = L"Tolvane";
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherW(table)) {
        // Everything of the program ended on the service's thread, its files
        // written and closed. What is left is the teardown of Qt's globals,
        // which belong to that thread and can wait for it forever (seen under
        // Wine); the process ends without it, so that it lets go of its files.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(host.exitStatus));
        return host.exitStatus;
    }
    // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT: started from a console.
    return body(argc, argv);
}

void ServiceRunning() {
    if (host.handle)
        setState(SERVICE_RUNNING);
}

bool RunsAsService() {
    return host.handle != nullptr;
}

bool ReportServiceEvent(std::optional<ServiceEvent> event, const QString& text) {
    if (!host.handle)
        return false;
    if (!event || !host.eventSource)
        return true;
    const DWORD id = kEventIds[static_cast<std::size_t>(*event) - 1];
    const DWORD severity = id >> 30;
    const WORD type = severity == 3   ? EVENTLOG_ERROR_TYPE
                      : severity == 2 ? EVENTLOG_WARNING_TYPE
                                      : EVENTLOG_INFORMATION_TYPE;
    const std::wstring insertion = text.toStdWString();
    LPCWSTR strings[] = {insertion.c_str()};
    ReportEventW(host.eventSource, type, 0, id, nullptr, 1, 0, strings, nullptr);
    return true;
}

} // namespace platform
