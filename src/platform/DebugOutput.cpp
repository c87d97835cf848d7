#include "platform/DebugOutput.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace {

// The sink is chosen once, from KREL_DEBUG_OUTPUT, and lives for the whole process so that
// output from threads still running at exit never meets a destroyed object.
struct DebugSink {
    std::mutex mutex;
    FILE* stream = nullptr;
    krel_platform::DebugOutputHook hook;
    // Whether there is a stream or a hook; written under the mutex, read without it.
    std::atomic<bool> heard{false};

    DebugSink() {
        const char* target = std::getenv("KREL_DEBUG_OUTPUT");
        if (target == nullptr || *target == '\0') {
            return;
        }
        if (std::string(target) == "stderr") {
            stream = stderr;
        } else {
            stream = std::fopen(target, "a");
        }
        heard = stream != nullptr;
    }

    void write(const std::wstring& text) {
        std::lock_guard<std::mutex> guard(mutex);
        if (hook) {
            hook(text);
        }
        if (stream != nullptr) {
            const std::string bytes = krel_platform::wideToUtf8(text);
            std::fwrite(bytes.data(), 1, bytes.size(), stream);
            std::fflush(stream);
        }
    }
};

DebugSink& sink() {
    static DebugSink& instance = *new DebugSink;
    return instance;
}

} // namespace

namespace krel_platform {

void setDebugOutputHook(DebugOutputHook hook) {
    DebugSink& s = sink();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.hook = std::move(hook);
    s.heard = s.stream != nullptr || static_cast<bool>(s.hook);
}

bool isDebugOutputHeard() {
    return sink().heard.load();
}

} // namespace krel_platform

void OutputDebugStringW(LPCWSTR text) {
    if (text != nullptr) {
        sink().write(text);
    }
}

void OutputDebugStringA(LPCSTR text) {
    if (text != nullptr) {
        sink().write(krel_platform::utf8ToWide(text));
    }
}
