// Writes log lines to the debugger output.
#pragma once

#include "base/AutoRegisterClass.h"
#include "log/ILogAppender.h"

namespace krel_std {

// Writes each formatted line with OutputDebugStringW; needs a layout to write anything.
// Registered as "krel_std.OutputDebugAppender".
class OutputDebugAppender : public ILogAppender, public AutoRegisterClass<OutputDebugAppender> {
public:
    // No filter and no layout: the appender factory gives them.
    OutputDebugAppender();
    ~OutputDebugAppender() override;

    // A new appender; the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;
    std::wstring getClassName() const override;

protected:
    void localAppend(const LogEvent& event) override;
    void localAppend(const std::wstring& line) override;
};

} // namespace krel_std
