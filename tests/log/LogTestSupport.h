// Shared helpers of the logging tests: appenders that record or fail, and a fixture that
// gives every test a fresh static log.
#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/ILogAppender.h"
#include "log/LogEvent.h"
#include "log/StaticLog.h"
#include "log/StaticLogTestHook.h"
#include "support/DebugOutputCapture.h"
#include "support/RecordingAppender.h"

namespace krel_test {

/// An appender that throws on every event it is asked to write.
class ThrowingAppender : public RecordingAppender {
public:
    using RecordingAppender::RecordingAppender;
    int attempts = 0;

protected:
    void localAppend(const krel_std::LogEvent&) override {
        ++attempts;
        throw std::runtime_error("disk full");
    }
};

/// Every test starts with the static log as the load hook leaves it and ends by bringing it
/// back there.
class StaticLogTest : public ::testing::Test {
protected:
    void SetUp() override { krel_std_internal::StaticLogTestHook::reset(); }
    void TearDown() override { krel_std_internal::StaticLogTestHook::reset(); }

    static void initialize(const krel_std_internal::StaticLogTestHook::AppenderMap& appenders,
                           const wchar_t* name = L"TestLog") {
        krel_std_internal::StaticLogTestHook::initialize(name, appenders);
    }
};

} // namespace krel_test
