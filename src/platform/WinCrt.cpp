#include "platform/WinCrt.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>

#include "platform/FormatEngine.h"
#include "platform/VaListGuard.h"

namespace {

std::atomic<_invalid_parameter_handler> invalidParameterHandler{nullptr};

// A copy of a caller's argument list, ended whatever happens while it is read.
class ArgumentCopy {
public:
    explicit ArgumentCopy(va_list source) { va_copy(list, source); }
    ~ArgumentCopy() { va_end(list); }
    ArgumentCopy(const ArgumentCopy&) = delete;
    ArgumentCopy& operator=(const ArgumentCopy&) = delete;

    va_list list;
};

template <typename Char>
bool formatAppend(std::basic_string<Char>& target, const Char* format, va_list arguments) {
    ArgumentCopy copy(arguments);
    return krel_platform::FormatEngine<Char>::format(target, format, &copy.list);
}

// The counted formatter's contract: the text and its terminator when both fit, the text alone
// when only it fits, otherwise as much as fits and -1. The text goes straight into the buffer;
// what does not fit is only counted.
template <typename Char>
int formatCounted(Char* buffer, size_t count, const Char* format, va_list arguments) {
    if (buffer == nullptr && count != 0) {
        errno = EINVAL;
        return -1;
    }
    int length = -1;
    try {
        ArgumentCopy copy(arguments);
        length =
            krel_platform::FormatEngine<Char>::formatCounted(buffer, count, format, &copy.list);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return -1;
    }
    if (length < 0) {
        errno = EINVAL;
        return -1;
    }
    const auto textLength = static_cast<size_t>(length);
    if (buffer == nullptr) {
        return length;
    }
    if (textLength < count) {
        buffer[textLength] = 0;
    }
    return textLength > count ? -1 : length;
}

} // namespace

int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list arguments) {
    return formatCounted(buffer, count, format, arguments);
}

int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    return formatCounted(buffer, count, format, arguments);
}

int _vsnprintf(char* buffer, size_t count, const char* format, va_list arguments) {
    return formatCounted(buffer, count, format, arguments);
}

int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    krel_platform::VaListGuard endArguments(arguments);
    return formatCounted(buffer, count, format, arguments);
}

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
    return invalidParameterHandler.exchange(handler);
}

_invalid_parameter_handler _get_invalid_parameter_handler() {
    return invalidParameterHandler.load();
}

namespace krel_platform {

bool formatAppendV(std::wstring& target, const wchar_t* format, va_list arguments) {
    return formatAppend(target, format, arguments);
}

bool formatAppendV(std::string& target, const char* format, va_list arguments) {
    return formatAppend(target, format, arguments);
}

} // namespace krel_platform
