#pragma once

#include <QString>

namespace platform {

// The MIME name (RFC 2978) of the system's code page, in which text files and
// the mail on the wire are written: "Shift_JIS" for code page 932 on a
// Japanese Windows, "UTF-8" on a usual Linux.
QString mimeCharset();

} // namespace platform
