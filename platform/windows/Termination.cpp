#include "platform/Termination.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <windows.h>

namespace platform {

namespace {

std::function<void()> request;
LONG requested = 0;

// Runs on a thread of its own that the system starts. The request goes to the
// event loop; for the closing of the console the system ends the process once
// this returns, so it gives the program a moment to end by itself.
BOOL WINAPI consoleControl(DWORD event) {
    if (InterlockedExchange(&requested, 1) == 0)
        QMetaObject::invokeMethod(QCoreApplication::instance(), request, Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(2000);
    return TRUE;
}

} // namespace

void OnTerminationRequest(std::function<void()> onRequest) {
    request = std::move(onRequest);
    SetConsoleCtrlHandler(consoleControl, TRUE);
}

} // namespace platform
