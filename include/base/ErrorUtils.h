// ErrorUtils, the library's argument checks and its texts for Windows error codes.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/KrelStdUtils.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

// The library's argument checks and its texts for Windows error codes.
//
// A check whose name ends in Ex throws KrelIllegalArgumentException (error number 0, no cause)
// with a fixed message naming the argument when the argument is bad, after a DEBUG trace;
// the plain form answers true where the Ex form would have thrown. The last two parameters
// are always the caller's qualified name (the context) and a short argument name.
class ErrorUtils {
public:
    virtual ~ErrorUtils();

    // The calling thread's last Windows error code.
    static int getLastError();

    // Pointer checks: "<name> value is NULL." / "<name> value is not NULL.".
    static void isNullEx(const void* value, const wchar_t* context, const std::wstring& name);
    static bool isNull(const void* value, const wchar_t* context, const std::wstring& name);
    static void isNotNullEx(const void* value, const wchar_t* context, const std::wstring& name);
    static bool isNotNull(const void* value, const wchar_t* context, const std::wstring& name);

    // "<code>:<system text without its line end>"; "<code>:" alone for an unknown code.
    static std::wstring getWindowsErrorDescription(int errorCode);
    static std::wstring getErrorDescription(int errorCode);
    static std::wstring getLastErrorDescription();

    // Answers false for a non-empty value; throws "<name> value is empty." for an empty one.
    static bool isEmptyEx(const std::wstring& value, const wchar_t* context,
                          const std::wstring& name);

    template <typename T>
    static void isNullEx(const boost::shared_ptr<T>& pointer, const wchar_t* context,
                         const std::wstring& name) {
        (void)context;
        if (!pointer) {
            failPointerCheck(L"krel_std::ErrorUtils::isNullEx", KREL_SOURCE_FILE, __LINE__,
                             name + L" value is NULL.");
        }
    }

    template <typename T>
    static void isNotNullEx(const boost::shared_ptr<T>& pointer, const wchar_t* context,
                            const std::wstring& name) {
        (void)context;
        if (pointer) {
            failPointerCheck(L"krel_std::ErrorUtils::isNotNullEx", KREL_SOURCE_FILE, __LINE__,
                             name + L" value is not NULL.");
        }
    }

    template <typename T>
    static void isEqualEx(const T& value, const T& other, const wchar_t* context,
                          const std::wstring& name) {
        if (value == other) {
            failValueCheck(context,
                           KrelStd::sprintfString(L"%ls value is equal to %ls.", name.c_str(),
                                                  StringUtils::toWString(other).c_str()));
        }
    }

    template <typename T>
    static bool isEqual(const T& value, const T& other, const wchar_t* context,
                        const std::wstring& name) {
        try {
            isEqualEx(value, other, context, name);
        } catch (const KrelIllegalArgumentException&) {
            return true;
        }
        return false;
    }

    template <typename T>
    static void isNotEqualEx(const T& value, const T& other, const wchar_t* context,
                             const std::wstring& name) {
        if (value != other) {
            failValueCheck(context,
                           KrelStd::sprintfString(L"%ls value is not equal to %ls.", name.c_str(),
                                                  StringUtils::toWString(other).c_str()));
        }
    }

    template <typename T, typename M>
    static void isBelowMinimumEx(const T& value, const M& minimum, const wchar_t* context,
                                 const std::wstring& name) {
        if (value < minimum) {
            failValueCheck(
                context, KrelStd::sprintfString(L"%ls value %ls is below minimum of %ls.",
                                                name.c_str(), StringUtils::toWString(value).c_str(),
                                                StringUtils::toWString(minimum).c_str()));
        }
    }

    template <typename T, typename M>
    static bool isBelowMinimum(const T& value, const M& minimum, const wchar_t* context,
                               const std::wstring& name) {
        try {
            isBelowMinimumEx(value, minimum, context, name);
        } catch (const KrelIllegalArgumentException&) {
            return true;
        }
        return false;
    }

    template <typename T, typename M>
    static void isAboveMaximumEx(const T& value, const M& maximum, const wchar_t* context,
                                 const std::wstring& name) {
        if (value > maximum) {
            failValueCheck(
                context, KrelStd::sprintfString(L"%ls value %ls is above maximum of %ls.",
                                                name.c_str(), StringUtils::toWString(value).c_str(),
                                                StringUtils::toWString(maximum).c_str()));
        }
    }

    template <typename T, typename Min, typename Max>
    static void isOutsideRangeEx(const T& value, const Min& minimum, const Max& maximum,
                                 const wchar_t* context, const std::wstring& name) {
        if (value < minimum || value > maximum) {
            failValueCheck(context,
                           KrelStd::sprintfString(
                               L"%ls value %ls is outside minimum of %ls and maximum of %ls.",
                               name.c_str(), StringUtils::toWString(value).c_str(),
                               StringUtils::toWString(minimum).c_str(),
                               StringUtils::toWString(maximum).c_str()));
        }
    }

private:
    ErrorUtils();
    ErrorUtils(const ErrorUtils&);
    ErrorUtils& operator=(const ErrorUtils&);

    // The DEBUG trace of a failed value check, written under the caller's name.
    static void logDebug(const wchar_t* context, const std::wstring& message);

    // Traces through logDebug and throws the message.
    [[noreturn]] static void failValueCheck(const wchar_t* context, const std::wstring& message);

    // Traces under the check's own name (the internal DEBUG trace) and throws the message.
    [[noreturn]] static void failPointerCheck(const wchar_t* function, const wchar_t* file,
                                              unsigned int line, const std::wstring& message);
};

} // namespace krel_std
