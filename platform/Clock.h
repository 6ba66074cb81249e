#pragma once

namespace platform {

// The local time of day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int hour() const = 0;   // 0 to 23
    virtual int minute() const = 0; // 0 to 59
    static Clock& system();
};

} // namespace platform
