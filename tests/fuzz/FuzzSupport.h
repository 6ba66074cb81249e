#pragma once

// What the fuzz targets share: the application folder of the run, a line
// splitter of their own to check the readers against, and the way a broken
// rule ends the run. Each target is a libFuzzer program (scripts/fuzz.sh) or,
// in the test suite, one that feeds it each file of its seed corpus once
// (replay.cpp).

#include "support/Fakes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken rule is a finding like a crash: say which, and abort so that
// libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* rule, const QString& detail = {}) {
    std::fprintf(stderr, "\n*** broken: %s\n%s\n", rule, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool holds, const char* rule, const QString& detail = {}) {
    if (!holds)
        fail(rule, detail);
}

// The application folder of the run, in force from the first call on. Each
// input overwrites a file in it.
inline fakes::AppFolder& folder() {
    static fakes::AppFolder folder;
    static platform::ScopedOverride<platform::AppFolder> inForce{folder};
    return folder;
}

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The lines of a text file as the program documents them: a line ends at CR
// LF, at a lone CR or at a lone LF, and a last line without an end counts.
inline QStringList linesOf(const QString& text) {
    QStringList lines;
    QString line;
    bool afterCr = false;
    bool open = false; // characters since the last line end
    for (const QChar c : text) {
        if (c == u'\n' && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = c == u'\r';
        if (c == u'\r' || c == u'\n') {
            lines.append(line);
            line.clear();
            open = false;
        } else {
            line.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(line);
    return lines;
}

} // namespace fuzz
