#include "platform/CodePage.h"

namespace platform {

// Qt takes the system's code page on Linux to be UTF-8.
QString mimeCharset() {
    return QStringLiteral("UTF-8");
}

} // namespace platform
