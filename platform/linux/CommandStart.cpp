#include "platform/CommandStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// The listing helper, built and installed beside the program.
constexpr auto kListingHelper = "tolvane-listing";

class SpawnedCommand final : public RunningCommand {
public:
    explicit SpawnedCommand(pid_t pid) : pid_(pid) {}

    // A helper still running when the handle goes is reaped by a waiting
    // thread, so it leaves no zombie behind.
    ~SpawnedCommand() override {
        if (hasEnded())
            return;
        std::thread([pid = pid_] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }

    bool hasEnded() override {
        if (ended_)
            return true;
        pid_t result;
        do
            result = ::waitpid(pid_, nullptr, WNOHANG);
        while (result < 0 && errno == EINTR);
        // An error (ECHILD) means someone else has reaped it: it has ended too.
        ended_ = result != 0;
        return ended_;
    }

private:
    pid_t pid_;
    bool ended_ = false;
};

class HelperCommandStart final : public CommandStart {
public:
    std::unique_ptr<RunningCommand> startServiceListing(const std::filesystem::path& folder,
                                                        const std::string& outputName) override {
        const QByteArray helper = QFile::encodeName(
            QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kListingHelper)));
        const std::string output = (folder / outputName).string();
        const std::string workingFolder = folder.string();

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

        char* argv[] = {const_cast<char*>(helper.constData()), nullptr};
        pid_t pid = 0;
        const int started =
            ::posix_spawn(&pid, helper.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (started != 0)
            return nullptr;
        return std::make_unique<SpawnedCommand>(pid);
    }
};

} // namespace

CommandStart& CommandStart::system() {
    static HelperCommandStart start;
    return start;
}

} // namespace platform
