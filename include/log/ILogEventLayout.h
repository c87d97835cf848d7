// The form of one log line.
#pragma once

#include <string>

#include "base/Configurable.h"
#include "log/LogEvent.h"

namespace krel_std {

// Turns an event into one line of text.
class ILogEventLayout : public Configurable {
public:
    virtual std::wstring format(const LogEvent& event) = 0;
};

} // namespace krel_std
