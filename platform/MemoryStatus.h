#pragma once

#include <cstdint>
#include <optional>

namespace platform {

struct MemoryFigures {
    std::uint32_t loadPercent = 0;  // memory in use, 0 to 100
    std::uint64_t freePhysical = 0; // bytes
    std::uint64_t freeSwap = 0;     // bytes of swap (page file) free
    std::uint64_t totalPhysical = 0;
    std::uint64_t totalSwap = 0;
};

// The memory status, in 64-bit counts. No Qt here.
class MemoryStatus {
public:
    virtual ~MemoryStatus() = default;
    // Nothing when the system does not answer.
    virtual std::optional<MemoryFigures> query() = 0;
    static MemoryStatus& system();
};

} // namespace platform
