#pragma once

// Every operating-system service is reached through an interface; the program
// uses the system's implementation, and a test puts a fake in its place for the
// life of a ScopedOverride. This header uses no Qt, so the Windows
// implementations can be compiled without it.

namespace platform {

template <class Interface> class ScopedOverride;

template <class Interface> class ServiceSlot {
public:
    static Interface& get() { return override_ ? *override_ : Interface::system(); }

private:
    friend class ScopedOverride<Interface>;
    static inline Interface* override_ = nullptr;
};

// The implementation of a service now in force.
template <class Interface> Interface& use() {
    return ServiceSlot<Interface>::get();
}

template <class Interface> class ScopedOverride {
public:
    explicit ScopedOverride(Interface& replacement) : previous_(ServiceSlot<Interface>::override_) {
        ServiceSlot<Interface>::override_ = &replacement;
    }
    ~ScopedOverride() { ServiceSlot<Interface>::override_ = previous_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    Interface* previous_;
};

} // namespace platform
