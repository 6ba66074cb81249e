#include "platform/Sleep.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

namespace {
class KernelSleep final : public Sleep {
public:
    // The class shadows the system call of the same name inside this namespace.
    void sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
};
} // namespace

Sleep& Sleep::system() {
    static KernelSleep sleep;
    return sleep;
}

} // namespace platform
