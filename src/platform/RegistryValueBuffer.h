// The caller's buffers for a value's type and data, filled by the Windows rules.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

namespace krel_platform {

class RegistryValueBuffer {
public:
    // Any pointer may be null; data needs size.
    RegistryValueBuffer(LPDWORD type, LPBYTE data, LPDWORD size)
        : type(type), data(data), size(size) {}

    // Reports the type, and the size whenever size is given. Copies the bytes when data is
    // given and its size holds them; ERROR_MORE_DATA (data left as it was) when it does not.
    LSTATUS deliver(DWORD valueType, const void* bytes, size_t byteCount) const;

private:
    LPDWORD type;
    LPBYTE data;
    LPDWORD size;
};

} // namespace krel_platform
