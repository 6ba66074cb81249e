#pragma once

// A small test runner for the Windows checks, which build without Qt.
// WIN_TEST(name) defines a case; WIN_CHECK(condition) records a failure and goes
// on; WIN_REQUIRE(condition) records it and ends the case. wincheck::run runs the
// case named on the command line, or every case, and fails when any fails.

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace wincheck {

struct Case {
    const char* name;
    void (*body)();
};
inline std::vector<Case> cases;
inline int failures = 0;

struct Registration {
    Registration(const char* name, void (*body)()) { cases.push_back({name, body}); }
};

struct RequireFailed {};

inline bool check(bool passed, int line, const char* what) {
    if (!passed) {
        ++failures;
        std::printf("  FAIL line %d: %s\n", line, what);
    }
    return passed;
}

inline int run(int argc, char** argv) {
    int run = 0, failed = 0;
    for (const Case& c : cases) {
        if (argc > 1 && std::strcmp(argv[1], c.name) != 0)
            continue;
        const int before = failures;
        try {
            c.body();
        } catch (const RequireFailed&) {
        } catch (const std::exception& e) {
            check(false, __LINE__, e.what());
        }
        ++run;
        failed += failures > before;
        std::printf("%s %s\n", failures > before ? "FAIL" : "PASS", c.name);
    }
    // A misspelt name on the command line must not pass for a run of nothing.
    std::printf("%d of %d cases passed\n", run - failed, run);
    return run > 0 && failed == 0 ? 0 : 1;
}

} // namespace wincheck

#define WIN_TEST(name)                                                                             \
    static void name();                                                                            \
    static const wincheck::Registration name##_registration(#name, name);                          \
    static void name()

#define WIN_CHECK(condition) wincheck::check(bool(condition), __LINE__, #condition)

#define WIN_REQUIRE(condition)                                                                     \
    do {                                                                                           \
        if (!WIN_CHECK(condition))                                                                 \
            throw wincheck::RequireFailed{};                                                       \
    } while (false)
