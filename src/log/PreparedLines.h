// The lines that a logging thread lays out before it takes the log's locks.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>

#include "log/LineMaker.h"
#include "log/LogEvent.h"

namespace krel_std_internal {

// One thread's lines of the event it is logging, made by the line makers that its appenders
// handed it on earlier calls, so that laying out and converting a line happens before the
// log's locks are taken and only the write of the finished bytes happens under them.
//
// An appender, called under the locks, asks for the bytes of its maker: it finds them when the
// event is the one the thread prepared; otherwise it makes the line itself and hands its
// maker over for the thread's next calls. A thread remembers the last kMakers makers.
class PreparedLines {
public:
    static constexpr std::size_t MAKERS = 4;

    // Makes the event's lines with every maker the thread remembers for as long as it lives,
    // unless the thread is already inside a scope (the outer scope's lines stay).
    class Scope {
    public:
        Scope(PreparedLines& lines, const krel_std::LogEvent& event);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        PreparedLines* lines;
    };

    // Whether the thread is inside a scope.
    bool isPreparing() const { return event != nullptr; }

    // Lets the calling thread make the lines of the maker on its next log calls.
    static void remember(const boost::shared_ptr<const LineMaker>& maker);
    // The bytes that the calling thread made with the maker for this event within its current
    // scope; null when it made none (no scope, another event, a maker it did not know, or one
    // that writes nothing for the event).
    static const std::string* find(const LineMaker* maker, const krel_std::LogEvent& event);

private:
    struct Slot {
        boost::shared_ptr<const LineMaker> maker;
        std::string bytes;
        bool made = false;
    };

    void prepare(const krel_std::LogEvent& event);
    void forget();

    Slot slots[MAKERS];
    std::size_t nextSlot = 0;
    // The event of the current scope; null outside one.
    const krel_std::LogEvent* event = nullptr;
    std::wstring spareLine;
};

} // namespace krel_std_internal
