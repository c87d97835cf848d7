// The decision whether an appender writes an event.
#pragma once

#include "base/Configurable.h"
#include "log/LogEvent.h"

namespace krel_std {

// A filter asked by an appender about every event.
class ILogEventFilter : public Configurable {
public:
    // ACCEPT writes the event; any other value drops it.
    enum FilterDecision { ACCEPT = 0, DENY = 1 };

    virtual FilterDecision decide(const LogEvent& event) = 0;
};

} // namespace krel_std
