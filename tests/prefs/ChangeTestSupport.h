// Shared helpers of the preference change tests: a thread-safe record of the static log's
// events, listeners that record what the dispatch thread hands them, and a gate a listener can
// be held at.
#pragma once

#include "log/DebugFileFilter.h"
#include "log/ILogAppender.h"
#include "log/LogEvent.h"
#include "log/StaticLogTestHook.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace krel_test {

// Generous bound on every wait of these tests: reaching it means the awaited thing never came.
const std::chrono::seconds PREFS_WAIT_LIMIT(30);

// Keeps every event the static log writes, for any thread.
class LockedLogRecorder : public krel_std::ILogAppender {
public:
    LockedLogRecorder()
        : ILogAppender(
              boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter()),
              nullptr) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return nullptr;
    }

    std::vector<krel_std::LogEvent> withId(const std::wstring& errorId) const {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<krel_std::LogEvent> found;
        for (const krel_std::LogEvent& event : events) {
            if (event.errorId.find(errorId) != std::wstring::npos) {
                found.push_back(event);
            }
        }
        return found;
    }

    bool anyMessage(const std::wstring& message) const {
        std::lock_guard<std::mutex> guard(mutex);
        for (const krel_std::LogEvent& event : events) {
            if (event.message == message) {
                return true;
            }
        }
        return false;
    }

protected:
    void localAppend(const krel_std::LogEvent& event) override {
        std::lock_guard<std::mutex> guard(mutex);
        events.push_back(event);
    }
    void localAppend(const std::wstring&) override {}

private:
    mutable std::mutex mutex;
    std::vector<krel_std::LogEvent> events;
};

// Gives the static log a recorder for the life of the object, at the given threshold.
class LogCapture {
public:
    explicit LogCapture(krel_std::LogEventPriority threshold = krel_std::INFO)
        : recorder(new LockedLogRecorder) {
        krel_std_internal::StaticLogTestHook::reset();
        krel_std_internal::StaticLogTestHook::initialize(L"PrefsTestLog", {{L"r", recorder}});
        krel_std_internal::StaticLogTestHook::setThreshold(threshold);
    }
    ~LogCapture() { krel_std_internal::StaticLogTestHook::reset(); }

    LockedLogRecorder& log() { return *recorder; }

private:
    boost::shared_ptr<LockedLogRecorder> recorder;
};

// Records the keys of the events it receives and lets a test wait for a number of them; an
// optional action runs inside each call, after the key is recorded.
class RecordingListener : public krel_std::PreferenceChangeListener {
public:
    void
    preferenceChange(const boost::shared_ptr<krel_std::PreferenceChangeEvent>& event) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            keys.push_back(event ? event->getKey() : std::wstring(L"<null>"));
        }
        changed.notify_all();
        if (action) {
            action(event);
        }
    }

    // Whether count events arrived within the wait limit.
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, PREFS_WAIT_LIMIT, [&] { return keys.size() >= count; });
    }

    std::vector<std::wstring> received() {
        std::lock_guard<std::mutex> guard(mutex);
        return keys;
    }

    std::function<void(const boost::shared_ptr<krel_std::PreferenceChangeEvent>&)> action;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> keys;
};

// A one-way gate: threads wait at it until it is opened.
class Gate {
public:
    void open() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            opened = true;
        }
        changed.notify_all();
    }
    bool waitOpen() {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, PREFS_WAIT_LIMIT, [&] { return opened; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool opened = false;
};

} // namespace krel_test
