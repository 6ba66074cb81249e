#include "platform/MemoryStatus.h"

#include <windows.h>

namespace platform {

namespace {
class GlobalMemoryStatus64 final : public MemoryStatus {
public:
    std::optional<MemoryFigures> query() override {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (!::GlobalMemoryStatusEx(&status))
            return std::nullopt;
        return MemoryFigures{status.dwMemoryLoad, status.ullAvailPhys, status.ullAvailPageFile};
    }
};
} // namespace

MemoryStatus& MemoryStatus::system() {
    static GlobalMemoryStatus64 status;
    return status;
}

} // namespace platform
