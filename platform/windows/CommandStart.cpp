#include "platform/CommandStart.h"

#include <windows.h>

namespace platform {

namespace {

class ProcessHandle final : public RunningCommand {
public:
    explicit ProcessHandle(HANDLE process) : process_(process) {}
    ~ProcessHandle() override { ::CloseHandle(process_); }
    bool hasEnded() override {
        // WAIT_FAILED, a handle that cannot be waited on, counts as ended too.
        return ::WaitForSingleObject(process_, 0) != WAIT_TIMEOUT;
    }

private:
    HANDLE process_;
};

class InterpreterCommandStart final : public CommandStart {
public:
    std::unique_ptr<RunningCommand> startServiceListing(const std::filesystem::path& folder,
                                                        const std::string& outputName) override {
        // The interpreter by its full path: a bare name could be found in the
        // application folder first.
        wchar_t systemFolder[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return nullptr;
        const std::wstring interpreter =
            (std::filesystem::path(systemFolder) / L"cmd.exe").wstring();
        std::wstring commandLine = L"\"" + interpreter + L"\" /C net start > \"" +
                                   std::filesystem::path(outputName).wstring() + L"\"";
        const std::wstring workingFolder = folder.wstring();

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, workingFolder.c_str(), &startup, &process))
            return nullptr;
        ::CloseHandle(process.hThread);
        return std::make_unique<ProcessHandle>(process.hProcess);
    }
};

} // namespace

CommandStart& CommandStart::system() {
    static InterpreterCommandStart start;
    return start;
}

} // namespace platform
