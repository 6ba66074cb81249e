#include "platform/Console.h"

#include <QString>
#include <cstdio>

namespace platform {

bool writeStandardOutput(std::u16string_view text) {
    const QByteArray bytes =
        QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

} // namespace platform
