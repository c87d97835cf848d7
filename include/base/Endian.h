// Byte orders and the byte reversal of 16, 32 and 64-bit values.
#pragma once

namespace krel_std {

enum Endian { ENDIAN_BIG = 0, ENDIAN_LITTLE = 1 };

// The byte order of the machine the library runs on.
Endian getSystemEndianType();

unsigned short byteSwap16(unsigned short value);
unsigned int byteSwap32(unsigned int value);
unsigned long long byteSwap64(unsigned long long value);

} // namespace krel_std
