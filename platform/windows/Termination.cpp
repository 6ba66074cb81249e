#include "platform/Termination.h"

#include "platform/windows/TerminationRequest.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <windows.h>

namespace platform {

namespace {

std::function<void()> request;
LONG requested = 0;
LONG handed = 0;

// The request goes to the event loop once, however many ways it comes.
void hand() {
    if (request && QCoreApplication::instance() && InterlockedExchange(&handed, 1) == 0)
        QMetaObject::invokeMethod(QCoreApplication::instance(), request, Qt::QueuedConnection);
}

// Runs on a thread of its own that the system starts. For the closing of the
// console the system ends the process once this returns, so it gives the
// program a moment to end by itself.
BOOL WINAPI consoleControl(DWORD event) {
    RequestTermination();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(2000);
    return TRUE;
}

} // namespace

void RequestTermination() {
    InterlockedExchange(&requested, 1);
    hand();
}

void OnTerminationRequest(std::function<void()> onRequest) {
    request = std::move(onRequest);
    SetConsoleCtrlHandler(consoleControl, TRUE);
    // A request that came before the program was ready to take it.
    if (InterlockedCompareExchange(&requested, 1, 1) == 1)
        hand();
}

} // namespace platform
