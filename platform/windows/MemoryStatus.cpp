#include "platform/MemoryStatus.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

namespace {
// The extended query: its counts are 64 bits wide, so more than 4 GB of free
// memory is not cut short as the older query's 32-bit counts would be.
class GlobalMemoryStatus final : public MemoryStatus {
public:
    std::optional<MemoryFigures> query() override {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (!GlobalMemoryStatusEx(&status))
            return std::nullopt;
        return MemoryFigures{status.dwMemoryLoad, status.ullAvailPhys, status.ullAvailPageFile,
                             status.ullTotalPhys, status.ullTotalPageFile};
    }
};
} // namespace

MemoryStatus& MemoryStatus::system() {
    static GlobalMemoryStatus status;
    return status;
}

} // namespace platform
