// Keeps log lines in memory.
#pragma once

#include <list>
#include <string>

#include "log/ILogAppender.h"
#include "thread/Lock.h"

namespace krel_std {

// Accepts every event, formats it with a non-debug KrelLogLayout and keeps the line (with its
// line end) in memory, oldest first, until clear is called; the list has no bound. A new
// appender adds itself to the static log and its destructor removes it again.
class VectorLogAppender : public ILogAppender {
public:
    VectorLogAppender();
    ~VectorLogAppender() override;

    VectorLogAppender(const VectorLogAppender&) = delete;
    VectorLogAppender& operator=(const VectorLogAppender&) = delete;

    // A new appender (which adds itself to the static log); the properties are ignored.
    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override;

    // A copy of the lines written so far.
    std::list<std::wstring> getLogStatements();
    void clear();

    // "krel_std.VectorLogAppender" (it cannot be built by name).
    std::wstring getClassName() const;

protected:
    void localAppend(const LogEvent& event) override;
    void localAppend(const std::wstring& line) override;

private:
    std::list<std::wstring> statements;
    Lock lock;
};

} // namespace krel_std
