#include "platform/DriveSpace.h"

#include <windows.h>

namespace platform {

namespace {
class VolumeDriveSpace final : public DriveSpace {
public:
    std::optional<std::uint64_t> freeBytes(char letter) override {
        if (letter < 'A' || letter > 'Z')
            return std::nullopt;
        const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
        if (::GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
            return std::nullopt;
        // An empty removable drive must fail quietly, not ask the operator to
        // insert a disk.
        DWORD previousMode = 0;
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
        ULARGE_INTEGER totalFree{};
        const BOOL answered = ::GetDiskFreeSpaceExW(root, nullptr, nullptr, &totalFree);
        ::SetThreadErrorMode(previousMode, nullptr);
        if (!answered)
            return std::nullopt;
        // The whole volume's free bytes, not the part open to this user.
        return totalFree.QuadPart;
    }
};
} // namespace

DriveSpace& DriveSpace::system() {
    static VolumeDriveSpace drives;
    return drives;
}

} // namespace platform
