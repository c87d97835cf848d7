// VaListGuard, which ends a variable argument list when its scope ends.
#pragma once

#include <cstdarg>

namespace krel_platform {

// Ends a variable argument list when the scope that started it ends, also when an exception
// leaves that scope:
//     va_list arguments;
//     va_start(arguments, format);
//     krel_platform::VaListGuard end(arguments);
class VaListGuard {
public:
    explicit VaListGuard(va_list& started) : arguments(started) {}
    VaListGuard(const VaListGuard&) = delete;
    VaListGuard& operator=(const VaListGuard&) = delete;
    ~VaListGuard() { va_end(arguments); }

private:
    va_list& arguments;
};

} // namespace krel_platform
