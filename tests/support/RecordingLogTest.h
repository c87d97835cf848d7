// Tests that read what the static log was given: the log initialised with one recording appender.
#pragma once

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogEventPriority.h"
#include "log/LogTestSupport.h"
#include "log/StaticLogTestHook.h"
#include "support/RecordingAppender.h"

namespace krel_test {

// A recording appender that passes what the debug-file filter passes, with no layout.
inline boost::shared_ptr<RecordingAppender> newRecordingAppender() {
    return boost::shared_ptr<RecordingAppender>(new RecordingAppender(
        boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter())));
}

// The messages an appender recorded, in order.
inline std::vector<std::wstring> messagesOf(const RecordingAppender& appender) {
    std::vector<std::wstring> texts;
    for (const krel_std::LogEvent& event : appender.events) {
        texts.push_back(event.message);
    }
    return texts;
}

// For as long as it lives, the static log is initialised with one recording appender, at
// `threshold` when one is given; it starts from and ends with the log as the load hook leaves
// it. For fixtures that derive from another base than RecordingLogTest.
class RecordingLog {
public:
    explicit RecordingLog(std::optional<krel_std::LogEventPriority> threshold = std::nullopt)
        : appender(newRecordingAppender()) {
        krel_std_internal::StaticLogTestHook::reset();
        krel_std_internal::StaticLogTestHook::initialize(L"TestLog", {{L"recorder", appender}});
        if (threshold) {
            krel_std_internal::StaticLogTestHook::setThreshold(*threshold);
        }
    }
    ~RecordingLog() { krel_std_internal::StaticLogTestHook::reset(); }
    RecordingLog(const RecordingLog&) = delete;
    RecordingLog& operator=(const RecordingLog&) = delete;

    std::vector<std::wstring> messages() const { return messagesOf(*appender); }

    const boost::shared_ptr<RecordingAppender> appender;
};

// Every test starts with the static log initialised with one recording appender, `appender`,
// and ends with the log brought back to where the load hook leaves it.
class RecordingLogTest : public StaticLogTest {
protected:
    void SetUp() override {
        StaticLogTest::SetUp();
        appender = newRecordingAppender();
        initialize({{L"recorder", appender}});
    }

    std::vector<std::wstring> messages() const { return messagesOf(*appender); }

    boost::shared_ptr<RecordingAppender> appender;
};

} // namespace krel_test
