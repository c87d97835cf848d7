#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "base/SWString.h"

namespace krel_std_internal {

// The process-wide state of the older configuration functions: the default path and the list
// stream. One mutex guards both; every access needs a Guard, which holds it. The state is
// created on first use and never destroyed, so no call races the process's exit.
class ConfigDefaults {
public:
    class Guard {
    public:
        Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        std::lock_guard<std::mutex> lock;
    };

    // The path an operation works on: the default path for an empty file; otherwise file,
    // which also becomes the default path while that is still empty.
    static KrelStd::SWString resolve(const Guard& guard, const KrelStd::SWString& file);
    // Stores the default path, unless it is the marker text that readers of the default path
    // pass, which is never stored.
    static void setPath(const Guard& guard, const KrelStd::SWString& path);
    // The default path's texts, valid until it changes.
    static const char* narrowPath(const Guard& guard);
    static const wchar_t* widePath(const Guard& guard);
    // The open list stream, or null.
    static FILE*& listStream(const Guard& guard);
};

} // namespace krel_std_internal
