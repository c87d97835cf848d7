// Shared helpers of the preference change tests: a thread-safe record of the static log's
// events, listeners that record what the dispatch thread hands them, and a gate a listener can
// be held at.
#pragma once

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/ILogAppender.h"
#include "log/LogEvent.h"
#include "log/StaticLogTestHook.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"

namespace krel_test {

// Generous bound on every wait of these tests: reaching it means the awaited thing never came.
const std::chrono::seconds PREFS_WAIT_LIMIT(30);

// The calling thread's kernel id.
inline pid_t currentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// What the kernel tells of one thread of this process: whether it sleeps (state 'S') and how
// often it has blocked so far. A thread that has ended reads as awake, with no count.
struct ThreadSchedule {
    bool asleep = false;
    long blocked = -1;

    static ThreadSchedule of(pid_t tid) {
        ThreadSchedule schedule;
        std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.compare(0, 6, "State:") == 0) {
                schedule.asleep = line.find('S') != std::string::npos;
            } else if (line.compare(0, 24, "voluntary_ctxt_switches:") == 0) {
                schedule.blocked = std::stol(line.substr(24));
            }
        }
        return schedule;
    }
};

// Whether, within the wait limit, the thread of the kernel id (published through tid) came to
// sleep after having blocked more than `blockedBefore` times, or done() answered true. A test
// uses it to know that a thread sits in a wait rather than being on its way there.
template <class Done>
bool waitUntilAsleep(const std::atomic<pid_t>& tid, long blockedBefore, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + PREFS_WAIT_LIMIT;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        if (tid.load() != 0) {
            const ThreadSchedule schedule = ThreadSchedule::of(tid.load());
            if (schedule.asleep && schedule.blocked > blockedBefore) {
                return true;
            }
        }
        std::this_thread::yield();
    }
    return false;
}

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

    // Whether an event that matches arrived within the wait limit.
    bool waitFor(const std::function<bool(const krel_std::LogEvent&)>& matches,
                 std::size_t count = 1) {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, PREFS_WAIT_LIMIT, [&] {
            std::size_t found = 0;
            for (const krel_std::LogEvent& event : events) {
                found += matches(event) ? 1 : 0;
            }
            return found >= count;
        });
    }

    // Runs action on the writing thread, after recording, for every later event of the id.
    void onEvent(const std::wstring& errorId, const std::function<void()>& action) {
        std::lock_guard<std::mutex> guard(mutex);
        hookId = errorId;
        hook = action;
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
        std::function<void()> action;
        {
            std::lock_guard<std::mutex> guard(mutex);
            events.push_back(event);
            if (hook && event.errorId.find(hookId) != std::wstring::npos) {
                action = hook;
            }
        }
        arrived.notify_all();
        if (action) {
            action();
        }
    }
    void localAppend(const std::wstring&) override {}

private:
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<krel_std::LogEvent> events;
    std::wstring hookId;
    std::function<void()> hook;
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
