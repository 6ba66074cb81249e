#include "platform/Clock.h"

#include <QDate>
#include <QTime>

namespace platform {

namespace {
class LocalClock final : public Clock {
public:
    int hour() const override { return QTime::currentTime().hour(); }
    int minute() const override { return QTime::currentTime().minute(); }
    long long day() const override { return QDate::currentDate().toJulianDay(); }
};
} // namespace

Clock& Clock::system() {
    static LocalClock clock;
    return clock;
}

} // namespace platform
