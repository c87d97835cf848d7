#include "platform/DebugOutput.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "platform/FileReplacement.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace {

// The file at the path opened for appending, following only the links that a writer may follow.
FILE* openForAppending(const char* path) {
    const int descriptor =
        krel_platform::openResolved(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    FILE* const stream = descriptor < 0 ? nullptr : fdopen(descriptor, "a");
    if (stream == nullptr && descriptor >= 0) {
        close(descriptor);
    }
    return stream;
}

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
            stream = openForAppending(target);
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
