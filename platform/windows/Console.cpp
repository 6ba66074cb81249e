#include "platform/Console.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace platform {

namespace {
bool write(DWORD stream, std::u16string_view text) {
    const HANDLE out = GetStdHandle(stream);
    if (out == INVALID_HANDLE_VALUE || out == nullptr)
        return false;
    // A console shows bytes in its own output code page, which the operator may
    // have changed (chcp); a file or a pipe is read as the system's text files are.
    DWORD mode = 0;
    const UINT codePage = GetConsoleMode(out, &mode) ? GetConsoleOutputCP() : GetACP();

    std::wstring wide;
    wide.reserve(text.size() + text.size() / 16);
    for (const char16_t c : text) {
        if (c == u'\n')
            wide += L'\r';
        wide += static_cast<wchar_t>(c);
    }
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    return WriteFile(out, bytes.data(), static_cast<DWORD>(size), &written, nullptr) &&
           written == static_cast<DWORD>(size);
}

} // namespace

bool writeStandardOutput(std::u16string_view text) {
    return write(STD_OUTPUT_HANDLE, text);
}

bool writeStandardError(std::u16string_view text) {
    return write(STD_ERROR_HANDLE, text);
}

} // namespace platform
