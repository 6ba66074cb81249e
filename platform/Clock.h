#pragma once

#include <QDateTime>

namespace platform {

// The local clock.
class Clock {
public:
    virtual ~Clock() = default;
    // One reading of the local date and time of day. Whoever needs the date,
    // the hour and the minute of one moment takes them all from one reading:
    // two readings may fall on either side of a full hour.
    virtual QDateTime now() const = 0;
    static Clock& system();
};

} // namespace platform
