#include "base/ErrorUtils.h"

#include "base/InternalTrace.h"
#include "base/TraceSink.h"
#include "internal/GuardedCall.h"
#include "platform/UnicodeLocale.h"
#include "platform/WinBase.h"

namespace krel_std {

namespace {

const wchar_t IS_NULL_EX[] = L"krel_std::ErrorUtils::isNullEx";
const wchar_t IS_NOT_NULL_EX[] = L"krel_std::ErrorUtils::isNotNullEx";

void trimTrailingSpace(std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && krel_platform::isUnicodeSpace(text[end - 1])) {
        --end;
    }
    text.erase(end);
}

// The system's text for the code, empty when the system has none. The buffer the system
// allocates is freed on every path.
std::wstring systemMessage(int errorCode) {
    LPWSTR buffer = nullptr;
    try {
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(errorCode), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
            reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
        std::wstring text;
        if (length > 0 && buffer != nullptr) {
            text.assign(buffer, length);
        }
        LocalFree(buffer);
        return text;
    } catch (...) {
        LocalFree(buffer);
        throw;
    }
}

} // namespace

ErrorUtils::ErrorUtils() {}

ErrorUtils::ErrorUtils(const ErrorUtils&) {}

ErrorUtils& ErrorUtils::operator=(const ErrorUtils&) {
    return *this;
}

ErrorUtils::~ErrorUtils() {}

int ErrorUtils::getLastError() {
    return static_cast<int>(GetLastError());
}

void ErrorUtils::isNullEx(const void* value, const wchar_t* /*context*/, const std::wstring& name) {
    if (value == nullptr) {
        failPointerCheck(IS_NULL_EX, KREL_SOURCE_FILE, __LINE__, name + L" value is NULL.");
    }
}

bool ErrorUtils::isNull(const void* value, const wchar_t* context, const std::wstring& name) {
    try {
        isNullEx(value, context, name);
    } catch (const KrelIllegalArgumentException&) {
        return true;
    }
    return false;
}

void ErrorUtils::isNotNullEx(const void* value, const wchar_t* /*context*/,
                             const std::wstring& name) {
    if (value != nullptr) {
        failPointerCheck(IS_NOT_NULL_EX, KREL_SOURCE_FILE, __LINE__, name + L" value is not NULL.");
    }
}

bool ErrorUtils::isNotNull(const void* value, const wchar_t* context, const std::wstring& name) {
    try {
        isNotNullEx(value, context, name);
    } catch (const KrelIllegalArgumentException&) {
        return true;
    }
    return false;
}

std::wstring ErrorUtils::getWindowsErrorDescription(int errorCode) {
    const std::wstring code = StringUtils::toWString(errorCode) + L":";
    return krel_std_internal::callSwallowing(
        [&] {
            std::wstring text = systemMessage(errorCode);
            trimTrailingSpace(text);
            return code + text;
        },
        [&] { return code + L"An unexpected error occurred calling FormatMessage."; });
}

std::wstring ErrorUtils::getErrorDescription(int errorCode) {
    return getWindowsErrorDescription(errorCode);
}

std::wstring ErrorUtils::getLastErrorDescription() {
    return getErrorDescription(getLastError());
}

bool ErrorUtils::isEmptyEx(const std::wstring& value, const wchar_t* context,
                           const std::wstring& name) {
    if (value.empty()) {
        failValueCheck(context, name + L" value is empty.");
    }
    return false;
}

void ErrorUtils::logDebug(const wchar_t* context, const std::wstring& message) {
    if (!krel_std_internal::LogThreshold::passes(DEBUG)) {
        return;
    }
    krel_std_internal::TraceSink::writeFormatted(
        {DEBUG, context != nullptr ? context : L"NULL", KREL_SOURCE_FILE, __LINE__}, L"%ls",
        message.c_str());
}

void ErrorUtils::failValueCheck(const wchar_t* context, const std::wstring& message) {
    logDebug(context, message);
    throw KrelIllegalArgumentException(message);
}

void ErrorUtils::failPointerCheck(const wchar_t* function, const wchar_t* file, unsigned int line,
                                  const std::wstring& message) {
    KREL_INTERNAL_DEBUG_AT(function, file, line, L"%ls", message.c_str());
    throw KrelIllegalArgumentException(message);
}

} // namespace krel_std
