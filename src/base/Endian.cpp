#include "base/Endian.h"

#include <cstdint>
#include <cstring>

namespace krel_std {

Endian getSystemEndianType() {
    const uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1 ? ENDIAN_LITTLE : ENDIAN_BIG;
}

unsigned short byteSwap16(unsigned short value) {
    return static_cast<unsigned short>(((value & 0xFFu) << 8) | ((value >> 8) & 0xFFu));
}

unsigned int byteSwap32(unsigned int value) {
    return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
           ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

unsigned long long byteSwap64(unsigned long long value) {
    return (static_cast<unsigned long long>(byteSwap32(static_cast<unsigned int>(value))) << 32) |
           byteSwap32(static_cast<unsigned int>(value >> 32));
}

} // namespace krel_std
