#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace platform {

// A started command that runs on by itself.
class RunningCommand {
public:
    virtual ~RunningCommand() = default;
    // Whether the command has ended. Never blocks.
    virtual bool hasEnded() = 0;
};

// Starts the listing of the started services. No Qt here.
class CommandStart {
public:
    virtual ~CommandStart() = default;
    // Starts the listing with its output redirected into the file `outputName`
    // in `folder`, which is also its working folder; hidden, not awaited.
    // Nothing when it cannot be started.
    virtual std::unique_ptr<RunningCommand> startServiceListing(const std::filesystem::path& folder,
                                                                const std::string& outputName) = 0;
    static CommandStart& system();
};

} // namespace platform
