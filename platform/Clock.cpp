#include "platform/Clock.h"

#include <QTime>

namespace platform {

namespace {
class LocalClock final : public Clock {
public:
    int hour() const override { return QTime::currentTime().hour(); }
    int minute() const override { return QTime::currentTime().minute(); }
};
} // namespace

Clock& Clock::system() {
    static LocalClock clock;
    return clock;
}

} // namespace platform
