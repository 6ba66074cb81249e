#pragma once

namespace platform {

// Blocks the calling thread; no event runs meanwhile.
class Sleep {
public:
    virtual ~Sleep() = default;
    virtual void sleep(unsigned milliseconds) = 0;
    static Sleep& system();
};

} // namespace platform
