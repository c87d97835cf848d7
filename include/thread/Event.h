// Event, a waitable event with auto or manual reset.
#pragma once

#include "thread/Waitable.h"

namespace krel_std {

// A waitable event. An auto-reset event hands each signal to one waiter; a manual-reset event
// stays signalled and releases every waiter until it is reset.
class Event : public Waitable {
public:
    explicit Event(bool autoReset = true, bool signaled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() override;

    // "Event{autoReset=1,signaled=0}".
    std::wstring toString() const override;

    void signal() override;
    virtual void reset();
};

} // namespace krel_std
