// Prints the running services in the layout of the Windows listing of started
// services (see platform/linux/ServiceListing.h): from systemd when it runs,
// otherwise from the init scripts, otherwise an empty list.

#include "platform/linux/ServiceListing.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Standard output of a program started without a shell, its errors discarded;
// empty when it cannot be started.
std::string outputOf(std::vector<std::string> arguments) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);

    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int started = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);

    std::string output;
    if (started == 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
            if (n > 0)
                output.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(pipeEnds[0]);
    return output;
}

bool exists(const char* path) {
    struct stat entry {};
    return ::stat(path, &entry) == 0;
}

std::vector<std::string> runningServices() {
    if (exists("/run/systemd/system"))
        return platform::runningUnitsFromSystemctl(
            outputOf({"systemctl", "list-units", "--type=service", "--state=running", "--no-legend",
                      "--no-pager", "--plain", "--full"}));
    // `service` lives in sbin, which an ordinary user's PATH may lack.
    for (const char* service : {"/usr/sbin/service", "/sbin/service"}) {
        if (exists(service))
            return platform::runningScriptsFromServiceStatus(outputOf({service, "--status-all"}));
    }
    return {};
}

} // namespace

int main() {
    const std::string text = platform::serviceListingText(runningServices());
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}
