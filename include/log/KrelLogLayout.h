// The library's one log line layout.
#pragma once

#include "base/AutoRegisterClass.h"
#include "log/ILogEventLayout.h"

namespace krel_std_internal {
class LineWriter;
} // namespace krel_std_internal

namespace krel_std {

// Formats an event as
//   "2009-03-05 14:07:09:042 INFO STD0009 Foo.cpp[12] message\n"
// (local time, milliseconds after a colon); in debug mode the thread id (" [0x1a4]") follows
// the priority and the function (" krel_std::Foo::bar:") precedes the message. Every line ends
// in exactly one line feed. Registered as "krel_std.KrelLogLayout".
class KrelLogLayout : public ILogEventLayout, public AutoRegisterClass<KrelLogLayout> {
public:
    KrelLogLayout();
    ~KrelLogLayout() override;

    // A new layout; debug mode when the property "debug" is exactly "true".
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    std::wstring format(const LogEvent& event) override;
    std::wstring getClassName() const override;

private:
    explicit KrelLogLayout(bool debug);

    // One per piece of the line, in the line's order.
    using LineWriter = krel_std_internal::LineWriter;
    static void appendTimestamp(LineWriter& line, const LogEvent& event);
    static void appendPriority(LineWriter& line, const LogEvent& event);
    static void appendThreadId(LineWriter& line, const LogEvent& event);
    static void appendErrorId(LineWriter& line, const LogEvent& event);
    static void appendFileName(LineWriter& line, const LogEvent& event);
    static void appendLineNumber(LineWriter& line, const LogEvent& event);
    static void appendFunction(LineWriter& line, const LogEvent& event);
    static void appendMessage(LineWriter& line, const LogEvent& event);

    bool debug;
};

} // namespace krel_std
