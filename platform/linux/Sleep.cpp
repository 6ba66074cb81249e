#include "platform/Sleep.h"

#include <QThread>

namespace platform {

namespace {
class ThreadSleep final : public Sleep {
public:
    void sleep(unsigned milliseconds) override { QThread::msleep(milliseconds); }
};
} // namespace

Sleep& Sleep::system() {
    static ThreadSleep sleep;
    return sleep;
}

} // namespace platform
