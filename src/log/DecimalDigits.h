// Decimal digits written straight into a character buffer.
#pragma once

#include <cstddef>

namespace krel_std_internal {

// Room that writeDecimal may need beyond `minimum`: a sign and the 20 digits of the widest value.
constexpr std::size_t kDecimalRoom = 21;

// Writes `value` in decimal with at least `minimum` digits, zero-padded, a minus sign ahead of
// a negative value (as "%N.Nd" does), and returns the end. `out` holds kDecimalRoom + minimum
// characters.
inline wchar_t* writeDecimal(wchar_t* out, long long value, std::size_t minimum) {
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    wchar_t reversed[20];
    std::size_t count = 0;
    do {
        reversed[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *out++ = L'-';
    }
    for (std::size_t padding = count; padding < minimum; ++padding) {
        *out++ = L'0';
    }
    while (count > 0) {
        *out++ = reversed[--count];
    }
    return out;
}

} // namespace krel_std_internal
