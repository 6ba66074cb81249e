#pragma once

// A small test runner for the Windows checks, which build without Qt.
// WIN_TEST(name) defines a case; WIN_CHECK(condition) records a failure and goes
// on; WIN_REQUIRE(condition) records it and ends the case. The program runs the
// cases named on its command line, or all of them, and fails when any fails.

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace wincheck {

struct Case {
    const char* name;
    std::function<void()> body;
};

std::vector<Case>& cases();

struct Registration {
    Registration(const char* name, std::function<void()> body);
};

struct RequireFailed {};

// Records a failed condition with where it stands and what was seen.
void fail(const char* file, int line, const std::string& what);

template <class T> std::string describe(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace wincheck

#define WIN_TEST(name)                                                                             \
    static void name();                                                                            \
    static const wincheck::Registration name##_registration(#name, name);                          \
    static void name()

#define WIN_CHECK(condition)                                                                       \
    do {                                                                                           \
        if (!(condition))                                                                          \
            wincheck::fail(__FILE__, __LINE__, #condition);                                        \
    } while (false)

#define WIN_REQUIRE(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            wincheck::fail(__FILE__, __LINE__, #condition);                                        \
            throw wincheck::RequireFailed{};                                                       \
        }                                                                                          \
    } while (false)

// Compares two values and shows both when they differ.
#define WIN_CHECK_OP(a, op, b)                                                                     \
    do {                                                                                           \
        const auto& win_a = (a);                                                                   \
        const auto& win_b = (b);                                                                   \
        if (!(win_a op win_b))                                                                     \
            wincheck::fail(__FILE__, __LINE__,                                                     \
                           std::string(#a " " #op " " #b " (") + wincheck::describe(win_a) +       \
                               " vs " + wincheck::describe(win_b) + ")");                          \
    } while (false)
