#include "platform/RegistryValueBuffer.h"

#include <cstring>

#include "platform/WinError.h"

namespace krel_platform {

LSTATUS RegistryValueBuffer::deliver(DWORD valueType, const void* bytes, size_t byteCount) const {
    if (type != nullptr) {
        *type = valueType;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    const DWORD capacity = *size;
    *size = static_cast<DWORD>(byteCount);
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (capacity < byteCount) {
        return ERROR_MORE_DATA;
    }
    if (byteCount != 0) {
        std::memcpy(data, bytes, byteCount);
    }
    return ERROR_SUCCESS;
}

} // namespace krel_platform
