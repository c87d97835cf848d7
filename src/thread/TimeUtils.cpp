#include "thread/TimeUtils.h"

#include <cstdio>
#include <ctime>
#include <cwchar>

#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "internal/PosixCalls.h"
#include "platform/Utf16.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

using krel_std_internal::PosixCalls;

namespace krel_std {

namespace {

const size_t FORMAT_BUFFER_SIZE = 2048;
const size_t MAX_ZONE_NAME = 255;

// Re-reading the zone settings and copying a name happen together under this lock.
Lock& zoneLock() {
    static Lock& lock = *new Lock;
    return lock;
}

bool toLocalTime(uint64_t ms, tm& local) {
    time_t seconds = static_cast<time_t>(ms / 1000);
    return localtime_r(&seconds, &local) != nullptr;
}

std::wstring zoneName(int index) {
    AutoLock<Lock> guard(zoneLock());
    tzset();
    std::string name(tzname[index] != nullptr ? tzname[index] : "");
    return krel_platform::utf8ToWide(name.substr(0, MAX_ZONE_NAME));
}

// Every "%s" becomes the milliseconds; "%%" stays an escaped percent sign.
std::wstring insertMilliseconds(const std::wstring& format, unsigned int milliseconds) {
    std::wstring result;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L's') {
            result += std::to_wstring(milliseconds);
            ++i;
        } else if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'%') {
            result += L"%%";
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

} // namespace

uint64_t TimeUtils::getCurrentTimeMs() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

int TimeUtils::getCurrentWeekday() {
    return getWeekdayForTimeMs(getCurrentTimeMs());
}

int TimeUtils::getWeekdayForTimeMs(uint64_t ms) {
    tm local;
    return toLocalTime(ms, local) ? local.tm_wday : -1;
}

std::wstring TimeUtils::getCurrentTimestamp() {
    return getTimestampForTimeMs(getCurrentTimeMs());
}

std::wstring TimeUtils::getTimestampForTimeMs(uint64_t ms) {
    tm local;
    if (!toLocalTime(ms, local)) {
        return std::wstring();
    }
    wchar_t text[64];
    std::swprintf(text, sizeof(text) / sizeof(text[0]),
                  L"%2.2d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d.%3.3d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

std::wstring TimeUtils::getTimezone() {
    return zoneName(0);
}

std::wstring TimeUtils::getDSTZone() {
    return zoneName(1);
}

std::wstring TimeUtils::formatTime(const wchar_t* format, uint64_t ms) {
    KREL_TRACE_SCOPE(L"krel_std::TimeUtils::formatTime");
    tm local;
    if (format == nullptr || !toLocalTime(ms, local)) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            L"krel_std::TimeUtils::formatTime", L"Unable to convert the time to local time.");
    }
    std::wstring expanded = insertMilliseconds(format, static_cast<unsigned int>(ms % 1000));
    wchar_t buffer[FORMAT_BUFFER_SIZE];
    size_t length = std::wcsftime(buffer, FORMAT_BUFFER_SIZE, expanded.c_str(), &local);
    if (length == 0) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            L"krel_std::TimeUtils::formatTime",
            L"Unable to format time string, resulting string is too large.");
    }
    return std::wstring(buffer, length);
}

} // namespace krel_std
