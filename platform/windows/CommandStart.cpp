#include "platform/CommandStart.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <optional>
#include <system_error>

namespace platform {

namespace {

class ProcessHandle final : public RunningCommand {
public:
    explicit ProcessHandle(HANDLE process) : process_(process) {}
    ~ProcessHandle() override { CloseHandle(process_); }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool hasEnded() override { return WaitForSingleObject(process_, 0) != WAIT_TIMEOUT; }

private:
    HANDLE process_;
};

// The command interpreter of the system folder, by its full path: a bare
// "cmd.exe" would be looked for in the program's own folder first, where
// anyone who can write the settings files could put one.
std::optional<std::wstring> interpreterPath() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::nullopt;
    return (std::filesystem::path(folder) / L"cmd.exe").wstring();
}

// The name goes into the interpreter's command line unquoted, so only names
// that the interpreter cannot read as anything but a file name are taken.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
           });
}

class InterpreterStart final : public CommandStart {
public:
    std::unique_ptr<RunningCommand> startServiceListing(const std::filesystem::path& folder,
                                                        const std::string& outputName) override {
        const std::optional<std::wstring> interpreter = interpreterPath();
        if (!interpreter || !isPlainFileName(outputName))
            return nullptr;
        std::error_code error;
        const std::filesystem::path workingFolder = std::filesystem::absolute(folder, error);
        if (error)
            return nullptr;

        std::wstring commandLine = L"\"" + *interpreter + L"\" /C net start > " +
                                   std::wstring(outputName.begin(), outputName.end());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(interpreter->c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_NO_WINDOW, nullptr, workingFolder.c_str(), &startup, &process))
            return nullptr;
        CloseHandle(process.hThread);
        return std::make_unique<ProcessHandle>(process.hProcess);
    }
};

} // namespace

CommandStart& CommandStart::system() {
    static InterpreterStart start;
    return start;
}

} // namespace platform
