#pragma once

// What the fuzz targets share: the application folder of the run and the way
// a broken rule ends the run. Each target is a libFuzzer program (scripts/fuzz.sh) or,
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

} // namespace fuzz
