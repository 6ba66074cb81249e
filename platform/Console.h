#pragma once

#include <string_view>

namespace platform {

// Writes text with LF line ends to standard output, the way the reader at the
// other end expects it: on Windows in the code page of the console that shows
// it (GetConsoleOutputCP), or, when the output goes to a file or a pipe, in
// the system's ANSI code page (GetACP; 932, Shift-JIS, on a Japanese system),
// with CR LF line ends; on Linux in UTF-8 with LF. A character that the code
// page lacks becomes the code page's default character. False when the output
// could not be written. No Qt here.
bool writeStandardOutput(std::u16string_view text);
// The same for standard error.
bool writeStandardError(std::u16string_view text);

} // namespace platform
