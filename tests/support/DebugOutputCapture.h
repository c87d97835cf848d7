// Collects the debugger-output text written while an instance lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"

namespace krel_test {

class DebugOutputCapture {
public:
    DebugOutputCapture() {
        krel_platform::setDebugOutputHook([this](const std::wstring& text) {
            std::lock_guard<std::mutex> guard(mutex);
            texts.push_back(text);
        });
    }
    ~DebugOutputCapture() { krel_platform::setDebugOutputHook(nullptr); }

    std::vector<std::wstring> lines() const {
        std::lock_guard<std::mutex> guard(mutex);
        return texts;
    }

    std::wstring all() const {
        std::wstring joined;
        for (const std::wstring& text : lines()) {
            joined += text;
        }
        return joined;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::wstring> texts;
};

} // namespace krel_test
