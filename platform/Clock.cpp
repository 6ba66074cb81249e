#include "platform/Clock.h"

namespace platform {

namespace {
class LocalClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
} // namespace

Clock& Clock::system() {
    static LocalClock clock;
    return clock;
}

} // namespace platform
