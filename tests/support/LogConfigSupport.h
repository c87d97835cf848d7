// Helpers of the log configuration tests: replacing a watched file whole, and waiting for the
// change reports of a configuration file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationListener.h"

namespace krel_test {

/// Puts the text at the path in one step (a file written beside it, then renamed over it), so a
/// watcher never reads a half-written file.
inline void replaceFile(const std::filesystem::path& target, const std::string& text) {
    const std::filesystem::path staged = target.string() + ".staged";
    {
        std::ofstream out(staged, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::filesystem::rename(staged, target);
}

/// A listener that keeps every change it is told of and lets a test wait for one.
class ChangeWaiter : public krel_std::ConfigurationListener {
public:
    void onConfigChange(const krel_std::ConfigurationChangeEvent& event) override {
        std::lock_guard<std::mutex> guard(mutex);
        seen.push_back(event.getKey() + L"=" + event.getValue());
        changed.notify_all();
    }

    /// Waits until the change "key=value" was reported; false when it was not within the
    /// bound (generous: a reload may be retried for a while).
    bool waitFor(const std::wstring& key, const std::wstring& value) {
        const std::wstring wanted = key + L"=" + value;
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(30), [&] {
            for (const std::wstring& entry : seen) {
                if (entry == wanted) {
                    return true;
                }
            }
            return false;
        });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> seen;
};

} // namespace krel_test
