// Stands in for the system's net.exe in the folder where "cmd.exe /C net start"
// looks first (its working folder, the application folder): prints the started
// services the way Windows in Japanese does, in code page 932 whatever the
// system's own, with CR LF line ends. Wine's net prints another layout.
//
// The names come from the file net-services.txt beside it (UTF-8, one a line),
// so that a test chooses them.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <string>
#include <vector>

namespace {

std::string codePage932(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(932, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(932, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::wstring besideMe(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

void line(const std::wstring& text) {
    const std::string bytes = codePage932(text) + "\r\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || _stricmp(argv[1], "start") != 0) {
        std::fputs("only \"net start\" is here\r\n", stderr);
        return 1;
    }
    // The bytes as they are: no LF becomes CR LF on the way out.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> names;
    std::ifstream list(besideMe(L"net-services.txt").c_str());
    for (std::string name; std::getline(list, name);) {
        if (!name.empty() && name.back() == '\r')
            name.pop_back();
        names.push_back(fromUtf8(name));
    }
    line(L"次のサービスが開始されています:");
    line(L"");
    for (const std::wstring& name : names)
        line(L"   " + name);
    line(L"");
    line(L"コマンドは正常に終了しました。");
    return std::fflush(stdout) == 0 ? 0 : 1;
}
