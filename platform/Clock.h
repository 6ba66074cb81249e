#pragma once

namespace platform {

// The local date and time of day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int hour() const = 0;   // 0 to 23
    virtual int minute() const = 0; // 0 to 59
    // The local date as a day number: consecutive days have consecutive numbers.
    virtual long long day() const = 0;
    static Clock& system();
};

} // namespace platform
