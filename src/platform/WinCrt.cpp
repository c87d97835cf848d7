#include "platform/WinCrt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>

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
// when only it fits, otherwise as much as fits and -1.
template <typename Char>
int formatCounted(Char* buffer, size_t count, const Char* format, va_list arguments) {
    std::basic_string<Char> text;
    if ((buffer == nullptr && count != 0) || !formatAppend(text, format, arguments) ||
        text.size() > static_cast<size_t>(INT_MAX)) {
        errno = EINVAL;
        return -1;
    }
    if (buffer == nullptr) {
        return static_cast<int>(text.size());
    }
    const size_t written = std::min(text.size(), count);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(written), buffer);
    if (written < count) {
        buffer[written] = 0;
    }
    return text.size() > count ? -1 : static_cast<int>(text.size());
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
