// What an appender lets a logging thread do before it takes the log's locks.
#pragma once

#include <string>

#include "log/LogEvent.h"

namespace krel_std_internal {

// Makes the bytes that one appender writes for an event. Any thread may call make, several at
// once and without the log's locks, so a maker reads nothing that changes while it lives.
class LineMaker {
public:
    virtual ~LineMaker() = default;

    // Writes into bytes what the appender writes for the event and answers true; false when
    // the appender writes nothing for it. spareLine is storage the thread keeps for the wide
    // text of a line.
    virtual bool make(const krel_std::LogEvent& event, std::wstring& spareLine,
                      std::string& bytes) const = 0;
};

} // namespace krel_std_internal
