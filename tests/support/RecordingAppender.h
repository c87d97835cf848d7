// An appender of the static log that records what it is given, for tests that read the log.
#pragma once

#include <boost/shared_ptr.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "log/ILogAppender.h"
#include "log/LogEvent.h"

namespace krel_test {

/// An appender that keeps every event it is given (event form, or the text form when it has a
/// layout) and can run an action inside its write.
class RecordingAppender : public krel_std::ILogAppender {
public:
    explicit RecordingAppender(const boost::shared_ptr<krel_std::ILogEventFilter>& filter,
                               const boost::shared_ptr<krel_std::ILogEventLayout>& layout = nullptr)
        : ILogAppender(filter, layout) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return nullptr;
    }

    std::vector<krel_std::LogEvent> events;
    std::vector<std::wstring> lines;
    std::function<void()> duringWrite;

protected:
    void localAppend(const krel_std::LogEvent& event) override {
        events.push_back(event);
        runAction();
    }
    void localAppend(const std::wstring& line) override {
        lines.push_back(line);
        runAction();
    }

private:
    void runAction() {
        if (duringWrite) {
            duringWrite();
        }
    }
};

} // namespace krel_test
