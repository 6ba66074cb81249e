// Stands in for the system's net.exe in the folder where "cmd.exe /C net start"
// looks first (its working folder, the application folder): prints the file
// net-start.txt beside it byte for byte, a listing that the test writes as
// Windows in Japanese prints it (code page 932, CR LF). Wine's net prints
// another layout.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || _stricmp(argv[1], "start") != 0) {
        std::fputs("only \"net start\" is here\r\n", stderr);
        return 1;
    }
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    const std::wstring listing = self.substr(0, self.find_last_of(L"\\/") + 1) + L"net-start.txt";
    std::FILE* in = _wfopen(listing.c_str(), L"rb");
    if (!in)
        return 1;
    // The bytes as they are: no LF becomes CR LF on the way out.
    _setmode(_fileno(stdout), _O_BINARY);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        std::fwrite(buffer, 1, n, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
