#include "platform/Console.h"

#include <QString>
#include <cstdio>

namespace platform {

namespace {
bool write(std::FILE* stream, std::u16string_view text) {
    const QByteArray bytes =
        QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
    return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
               static_cast<std::size_t>(bytes.size()) &&
           std::fflush(stream) == 0;
}
} // namespace

bool writeStandardOutput(std::u16string_view text) {
    return write(stdout, text);
}

bool writeStandardError(std::u16string_view text) {
    return write(stderr, text);
}

} // namespace platform
