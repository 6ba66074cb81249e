#pragma once

#include <cstdint>
#include <optional>

namespace platform {

struct VolumeBytes {
    std::uint64_t free = 0;  // free bytes of the whole volume, the root's reserve included
    std::uint64_t total = 0; // the volume's size
};

// Free space and size of a drive named by its letter. No Qt here.
class DriveSpace {
public:
    virtual ~DriveSpace() = default;
    // The figures of drive letter 'A' to 'Z', from one query; nothing when
    // there is no such drive or it is not ready.
    virtual std::optional<VolumeBytes> volume(char letter) = 0;
    // Its free bytes alone.
    std::optional<std::uint64_t> freeBytes(char letter) {
        const auto bytes = volume(letter);
        return bytes ? std::optional(bytes->free) : std::nullopt;
    }
    static DriveSpace& system();
};

} // namespace platform
