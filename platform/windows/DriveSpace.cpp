#include "platform/DriveSpace.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

namespace {
class DiskFreeSpace final : public DriveSpace {
public:
    std::optional<VolumeBytes> volume(char letter) override {
        if (letter < 'A' || letter > 'Z')
            return std::nullopt;
        const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};

        // An empty card reader or optical drive would otherwise stop the
        // resident program with a system box until someone answers it; with
        // critical errors failed, the call just fails and the check says so.
        DWORD previousMode = 0;
        const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
        ULARGE_INTEGER availableToCaller{}, total{}, totalFree{};
        const bool ok = GetDiskFreeSpaceExW(root, &availableToCaller, &total, &totalFree);
        if (modeSet)
            SetThreadErrorMode(previousMode, nullptr);
        if (!ok)
            return std::nullopt;
        // The whole volume's free bytes: a quota on the caller does not count.
        return VolumeBytes{totalFree.QuadPart, total.QuadPart};
    }
};
} // namespace

DriveSpace& DriveSpace::system() {
    static DiskFreeSpace drives;
    return drives;
}

} // namespace platform
