// Marks the calling thread as writing through an appender.
#pragma once

#include <string>

namespace krel_std_internal {

// While a guard lives, log calls made on its thread go to the debugger output instead of
// reaching the appenders again. The logger sets one around every appender write; code that
// changes a live appender under the appender's own lock sets one too, so that a log call made
// meanwhile never takes the static log's locks after the appender's (the declared lock order).
//
// The logger's guard also lends the appenders a spare line: a layout takes its storage to
// build the line in, and the appender gives the storage back after writing the line, so one
// buffer serves every event instead of a new string each.
class AppenderWriteGuard {
public:
    AppenderWriteGuard();
    // A guard that lends `spareLine` while it lives.
    explicit AppenderWriteGuard(std::wstring& spareLine);
    ~AppenderWriteGuard();
    AppenderWriteGuard(const AppenderWriteGuard&) = delete;
    AppenderWriteGuard& operator=(const AppenderWriteGuard&) = delete;

    // Whether the calling thread is inside a guard.
    static bool isActive();

    // The spare line's storage, emptied; an empty string when no spare is lent or it is out.
    static std::wstring takeSpareLine();
    // Gives storage back to the spare line when it has more room than the spare holds now.
    static void giveBackLine(std::wstring&& line);

private:
    bool previousWriting;
    std::wstring* previousSpare;
};

} // namespace krel_std_internal
