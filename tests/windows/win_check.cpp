#include "win_check.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace wincheck {

namespace {
int failures = 0;
}

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

Registration::Registration(const char* name, std::function<void()> body) {
    cases().push_back({name, std::move(body)});
}

void fail(const char* file, int line, const std::string& what) {
    ++failures;
    std::printf("  FAIL %s:%d: %s\n", file, line, what.c_str());
}

} // namespace wincheck

int main(int argc, char** argv) {
    int run = 0;
    int failedCases = 0;
    for (const wincheck::Case& c : wincheck::cases()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], c.name) == 0;
        if (!wanted)
            continue;
        ++run;
        const int before = wincheck::failures;
        try {
            c.body();
        } catch (const wincheck::RequireFailed&) {
        } catch (const std::exception& e) {
            wincheck::fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        }
        const bool passed = wincheck::failures == before;
        failedCases += passed ? 0 : 1;
        std::printf("%s %s\n", passed ? "PASS" : "FAIL", c.name);
    }
    if (run == 0) {
        std::printf("no case matched\n");
        return 2;
    }
    std::printf("%d of %d cases passed\n", run - failedCases, run);
    std::fflush(stdout);
    return failedCases == 0 ? 0 : 1;
}
