#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// Free space of a drive named by its letter. No Qt here.
class DriveSpace {
public:
    virtual ~DriveSpace() = default;
    // Free bytes of the whole volume of drive letter 'A' to 'Z' (the root's
    // reserve included); nothing when there is no such drive or it is not ready.
    virtual std::optional<std::uint64_t> freeBytes(char letter) = 0;
    static DriveSpace& system();
};

} // namespace platform
