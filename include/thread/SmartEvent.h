// SmartEvent, the owner of one unnamed kernel event for its lifetime.
#pragma once

#include <boost/noncopyable.hpp>

#include "base/Object.h"
#include "platform/WinTypes.h"

namespace krel_std {

// Owns one unnamed Windows event for its lifetime: created when the object is made, closed when
// it is destroyed. A failed creation leaves the handle null; nothing is thrown or logged, so a
// user tests getHandle() before signalling or waiting on it.
class SmartEvent : public Object, private boost::noncopyable {
public:
    SmartEvent(bool manualReset, bool initialState);
    ~SmartEvent() override;

    // The event, for SetEvent, ResetEvent and the waits; null when creation failed. The handle
    // stays owned by this object.
    HANDLE getHandle() const;

private:
    HANDLE handle;
};

} // namespace krel_std
