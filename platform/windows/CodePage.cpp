#include "platform/CodePage.h"

#include <windows.h>

namespace platform {

QString mimeCharset() {
    // The ANSI code pages of Windows by their names in the IANA registry.
    switch (const UINT codePage = GetACP()) {
    case 932:
        return QStringLiteral("Shift_JIS");
    case 936:
        return QStringLiteral("GBK");
    case 949:
        return QStringLiteral("EUC-KR");
    case 950:
        return QStringLiteral("Big5");
    case 65001:
        return QStringLiteral("UTF-8");
    default:
        return QStringLiteral("windows-%1").arg(codePage);
    }
}

} // namespace platform
