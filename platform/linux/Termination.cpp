#include "platform/Termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// A signal handler may do next to nothing: it writes one byte into a socket
// pair, and a notifier on the other end hands over to the event loop.
int pipeEnds[2] = {-1, -1};

void signalled(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
}

} // namespace

void OnTerminationRequest(std::function<void()> onRequest) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, onRequest = std::move(onRequest)] {
                         char byte = 0;
                         [[maybe_unused]] const ssize_t read = ::read(pipeEnds[1], &byte, 1);
                         notifier->setEnabled(false);
                         onRequest();
                     });
    struct sigaction action {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace platform
