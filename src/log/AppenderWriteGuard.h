// Marks the calling thread as writing through an appender.
#pragma once

namespace krel_std_internal {

/// While a guard lives, log calls made on its thread go to the debugger output instead of
/// reaching the appenders again. The logger sets one around every appender write; code that
/// changes a live appender under the appender's own lock sets one too, so that a log call made
/// meanwhile never takes the static log's locks after the appender's (the declared lock order).
class AppenderWriteGuard {
public:
    AppenderWriteGuard();
    ~AppenderWriteGuard();
    AppenderWriteGuard(const AppenderWriteGuard&) = delete;
    AppenderWriteGuard& operator=(const AppenderWriteGuard&) = delete;

    /// Whether the calling thread is inside a guard.
    static bool isActive();

private:
    bool previous;
};

} // namespace krel_std_internal
