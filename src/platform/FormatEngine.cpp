#include "platform/FormatEngine.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/VaListGuard.h"
#include "platform/Windows1252.h"

namespace krel_platform {

namespace {

const char NULL_TEXT[] = "(null)";

// Characters the engine formats into on its own stack; a longer text is made on the heap.
constexpr size_t STACK_CHARACTERS = 512;

// Floating point text the host makes directly: widths up to this many characters.
constexpr int DIRECT_WIDTH = 4096;

// Digits after which the exact decimal (or hexadecimal) expansion of every double and long
// double has only zeros left, whatever the conversion. A larger precision is formatted with
// this one and the zeros are added here, without asking the host for a text of that size.
constexpr int EXACT_DIGITS = 16500;

// Room for a host format: %, five flags, two numbers, a length modifier and the type.
constexpr size_t HOST_FORMAT_SIZE = 40;

// The number of characters before the first terminator or `stop`, four at a time.
template <typename Text> size_t scalarLengthUpTo(const Text* text, Text stop) {
    const Text* at = text;
    for (;; at += 4) {
        for (int offset = 0; offset < 4; ++offset) {
            if (at[offset] == 0 || at[offset] == stop) {
                return static_cast<size_t>(at + offset - text);
            }
        }
    }
}

#if defined(__SSE2__)

// The bytes of the sixteen-byte block that belong to a terminator or a `stop` character, one
// bit each. The block may reach beyond the text (see lengthUpTo). A bad text pointer faults
// here as it would in the scalar search, and the fault becomes the format's error; the
// undefined-behaviour checker is told not to stop at a block that starts at address zero.
template <typename Text>
__attribute__((no_sanitize_address, no_sanitize("null"))) unsigned matchesInBlock(const char* block,
                                                                                  __m128i stops) {
    const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i zero = _mm_setzero_si128();
    const __m128i found =
        sizeof(Text) == 1
            ? _mm_or_si128(_mm_cmpeq_epi8(bytes, zero), _mm_cmpeq_epi8(bytes, stops))
            : _mm_or_si128(_mm_cmpeq_epi32(bytes, zero), _mm_cmpeq_epi32(bytes, stops));
    return static_cast<unsigned>(_mm_movemask_epi8(found));
}

// The number of characters before the first terminator or `stop`, sixteen bytes at a time.
// Every load is of an aligned block that holds a character the scalar search would read, so it
// touches no page that search would not: bytes of the first block before the text are masked
// off, and no block after the one with the terminator is read. Those neighbouring bytes are
// not the text's, so the address sanitizer is told not to check these loads.
template <typename Text>
__attribute__((no_sanitize_address)) size_t lengthUpTo(const Text* text, Text stop) {
    static_assert(sizeof(Text) == 1 || sizeof(Text) == 4, "one- or four-byte characters");
    const auto address = reinterpret_cast<uintptr_t>(text);
    if (address % sizeof(Text) != 0) {
        return scalarLengthUpTo(text, stop);
    }
    const __m128i stops = sizeof(Text) == 1 ? _mm_set1_epi8(static_cast<char>(stop))
                                            : _mm_set1_epi32(static_cast<int>(stop));
    const char* block = reinterpret_cast<const char*>(address & ~uintptr_t(15));
    unsigned matches = matchesInBlock<Text>(block, stops) & (~0u << (address & 15));
    while (matches == 0) {
        block += 16;
        matches = matchesInBlock<Text>(block, stops);
    }
    const char* found = block + __builtin_ctz(matches);
    return static_cast<size_t>(found - reinterpret_cast<const char*>(text)) / sizeof(Text);
}

#else

template <typename Text> size_t lengthUpTo(const Text* text, Text stop) {
    return scalarLengthUpTo(text, stop);
}

#endif

// The length of a string argument, at most `precision` characters when one is given. The
// characters are read here, in code built to turn a memory fault into an exception, rather than
// by the C library's string functions: those are declared not to throw, so a fault inside them
// could not reach the caller as an exception.
template <typename Text> size_t boundedLength(const Text* text, int precision) {
    if (precision < 0) {
        return lengthUpTo(text, Text(0));
    }
    const auto limit = static_cast<size_t>(precision);
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

// The digits of the magnitude in the base, written backwards ending at `end`; answers the
// first digit.
template <unsigned Base> char* writeDigits(char* end, unsigned long long magnitude, bool upper) {
    const char* const alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        *--end = alphabet[magnitude % Base];
        magnitude /= Base;
    } while (magnitude != 0);
    return end;
}

// Decimal digits two at a time, which halves the chain of divisions.
template <> char* writeDigits<10>(char* end, unsigned long long magnitude, bool) {
    static const char pairs[] = "00010203040506070809101112131415161718192021222324"
                                "25262728293031323334353637383940414243444546474849"
                                "50515253545556575859606162636465666768697071727374"
                                "75767778798081828384858687888990919293949596979899";
    while (magnitude >= 100) {
        const auto pair = static_cast<size_t>(magnitude % 100) * 2;
        magnitude /= 100;
        *--end = pairs[pair + 1];
        *--end = pairs[pair];
    }
    if (magnitude >= 10) {
        const auto pair = static_cast<size_t>(magnitude) * 2;
        *--end = pairs[pair + 1];
        *--end = pairs[pair];
        return end;
    }
    *--end = static_cast<char>('0' + magnitude);
    return end;
}

// Writes the decimal digits of a non-negative number and answers the end of them.
char* writeDecimal(char* out, int value) {
    char digits[12];
    char* const end = digits + sizeof(digits);
    return std::copy(writeDigits<10>(end, static_cast<unsigned long long>(value), false), end, out);
}

// Where two texts first differ; the length of the shorter one when it begins the other.
size_t firstDifference(const std::string& shorter, const std::string& longer) {
    return static_cast<size_t>(std::mismatch(shorter.begin(), shorter.end(), longer.begin()).first -
                               shorter.begin());
}

} // namespace

// --- Output -------------------------------------------------------------------------------

template <typename Char>
FormatEngine<Char>::Output::Output(Char* window, size_t capacity)
    : window_(window), capacity_(std::min<size_t>(capacity, INT_MAX)) {}

// Counts `count` more characters and answers where the first `writable` of them go.
template <typename Char>
inline Char* FormatEngine<Char>::Output::room(size_t count, size_t& writable) {
    if (length_ + count <= capacity_) {
        Char* start = window_ + length_;
        length_ += count;
        writable = count;
        return start;
    }
    return roomBeyondWindow(count, writable);
}

template <typename Char>
Char* FormatEngine<Char>::Output::roomBeyondWindow(size_t count, size_t& writable) {
    writable = 0;
    if (tooLong_ || length_ + count > static_cast<size_t>(INT_MAX)) {
        tooLong_ = true;
        return nullptr;
    }
    const size_t start = length_;
    length_ += count;
    if (start >= capacity_) {
        return nullptr;
    }
    writable = capacity_ - start;
    return window_ + start;
}

template <typename Char> void FormatEngine<Char>::Output::write(const Char* text, size_t length) {
    size_t writable = 0;
    Char* start = room(length, writable);
    std::copy_n(text, writable, start);
}

template <typename Char> void FormatEngine<Char>::Output::fill(Char character, size_t count) {
    size_t writable = 0;
    Char* start = room(count, writable);
    std::fill_n(start, writable, character);
}

template <typename Char>
template <typename Source, typename Convert>
void FormatEngine<Char>::Output::writeConverted(const Source* text, size_t length,
                                                Convert convert) {
    size_t writable = 0;
    Char* start = room(length, writable);
    for (size_t index = 0; index < writable; ++index) {
        start[index] = convert(text[index]);
    }
}

template <typename Char>
void FormatEngine<Char>::Output::writeAscii(const char* text, size_t length) {
    writeConverted(text, length, [](char character) { return static_cast<Char>(character); });
}

// --- Entry points ---------------------------------------------------------------------------

template <typename Char>
bool FormatEngine<Char>::format(std::basic_string<Char>& target, const Char* format,
                                va_list* arguments) {
    if (format == nullptr) {
        return false;
    }
    va_list again;
    va_copy(again, *arguments);
    VaListGuard endAgain(again);
    Char window[STACK_CHARACTERS];
    Output measure(window, STACK_CHARACTERS);
    if (!FormatEngine(format, arguments, measure).run()) {
        return false;
    }
    if (measure.length() <= STACK_CHARACTERS) {
        target.append(window, measure.length());
        return true;
    }
    std::basic_string<Char> text(measure.length(), Char());
    Output whole(&text[0], text.size());
    if (!FormatEngine(format, &again, whole).run()) {
        return false;
    }
    // An argument changed by another thread between the passes may change the length.
    text.resize(std::min(whole.length(), text.size()));
    if (target.empty() && target.capacity() < text.size()) {
        target.swap(text);
    } else {
        target.append(text);
    }
    return true;
}

template <typename Char>
int FormatEngine<Char>::formatCounted(Char* buffer, size_t count, const Char* format,
                                      va_list* arguments) {
    if (format == nullptr) {
        return -1;
    }
    Output output(buffer, buffer == nullptr ? 0 : count);
    FormatEngine engine(format, arguments, output);
    if (!engine.run()) {
        return -1;
    }
    return static_cast<int>(output.length());
}

template <typename Char>
FormatEngine<Char>::FormatEngine(const Char* format, va_list* arguments, Output& output)
    : position_(format), arguments_(arguments), output_(output) {}

// Literal text goes out a run at a time; each conversion is checked against the length limit
// as soon as it is written.
template <typename Char> bool FormatEngine<Char>::run() {
    for (;;) {
        const size_t literal = lengthUpTo(position_, static_cast<Char>('%'));
        output_.write(position_, literal);
        position_ += literal;
        if (*position_ == 0) {
            return !output_.tooLong();
        }
        ++position_;
        Spec spec;
        if (!parseSpec(spec) || !convert(spec) || output_.tooLong()) {
            return false;
        }
    }
}

// --- Parsing --------------------------------------------------------------------------------

template <typename Char> bool FormatEngine<Char>::parseSpec(Spec& spec) {
    parseFlags(spec);
    if (!parseWidth(spec) || !parsePrecision(spec)) {
        return false;
    }
    parseSize(spec);
    spec.type = *position_;
    if (spec.type == 0) {
        return false;
    }
    ++position_;
    return true;
}

template <typename Char> void FormatEngine<Char>::parseFlags(Spec& spec) {
    for (;; ++position_) {
        switch (*position_) {
        case '-':
            spec.leftAlign = true;
            break;
        case '+':
            spec.plusSign = true;
            break;
        case ' ':
            spec.spaceSign = true;
            break;
        case '#':
            spec.alternate = true;
            break;
        case '0':
            spec.zeroPad = true;
            break;
        default:
            return;
        }
    }
}

template <typename Char> bool FormatEngine<Char>::parseWidth(Spec& spec) {
    if (*position_ != '*') {
        return *position_ < '0' || *position_ > '9' || parseNumber(spec.width);
    }
    ++position_;
    const int width = va_arg(*arguments_, int);
    if (width == INT_MIN) {
        return false;
    }
    if (width < 0) {
        spec.leftAlign = true;
    }
    spec.width = width < 0 ? -width : width;
    return true;
}

template <typename Char> bool FormatEngine<Char>::parsePrecision(Spec& spec) {
    if (*position_ != '.') {
        return true;
    }
    ++position_;
    if (*position_ == '*') {
        ++position_;
        const int precision = va_arg(*arguments_, int);
        spec.precision = precision < 0 ? -1 : precision;
        return true;
    }
    spec.precision = 0;
    return *position_ < '0' || *position_ > '9' || parseNumber(spec.precision);
}

template <typename Char> bool FormatEngine<Char>::parseNumber(int& value) {
    long long number = 0;
    while (*position_ >= '0' && *position_ <= '9') {
        number = number * 10 + (*position_++ - '0');
        if (number > INT_MAX) {
            return false;
        }
    }
    value = static_cast<int>(number);
    return true;
}

// The size prefixes: I64, I32, I, hh, h, ll, l, L, w, z, t and j.
template <typename Char> void FormatEngine<Char>::parseSize(Spec& spec) {
    const Char* at = position_;
    switch (at[0]) {
    case 'I':
        if (at[1] == '6' && at[2] == '4') {
            spec.size = Size::Int64;
            position_ += 3;
        } else if (at[1] == '3' && at[2] == '2') {
            spec.size = Size::Int32;
            position_ += 3;
        } else {
            spec.size = Size::SizeT;
            position_ += 1;
        }
        return;
    case 'h':
        spec.size = at[1] == 'h' ? Size::Byte : Size::Short;
        position_ += at[1] == 'h' ? 2 : 1;
        return;
    case 'l':
        spec.size = at[1] == 'l' ? Size::LongLong : Size::Long;
        position_ += at[1] == 'l' ? 2 : 1;
        return;
    case 'L':
        spec.size = Size::LongDouble;
        break;
    case 'w':
        spec.size = Size::Wide;
        break;
    case 'z':
        spec.size = Size::SizeT;
        break;
    case 't':
        spec.size = Size::PtrDiff;
        break;
    case 'j':
        spec.size = Size::IntMax;
        break;
    default:
        return;
    }
    ++position_;
}

// --- Conversions ----------------------------------------------------------------------------

template <typename Char> bool FormatEngine<Char>::convert(const Spec& spec) {
    switch (spec.type) {
    case '%': {
        const Char percent = '%';
        output_.write(&percent, 1);
        return true;
    }
    case 'd':
    case 'i':
        return convertSigned(spec);
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        return convertUnsigned(spec);
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return convertFloat(spec);
    case 'p':
        return convertPointer(spec);
    case 's':
    case 'S':
        return convertString(spec, isWideArgument(spec));
    case 'c':
    case 'C':
        return convertCharacter(spec, isWideArgument(spec));
    default:
        // %n (writing through a pointer) and unknown conversions are refused.
        return false;
    }
}

// Lower-case s and c take arguments of the format's own width, upper-case ones the other
// width; h forces narrow, l and w force wide.
template <typename Char> bool FormatEngine<Char>::isWideArgument(const Spec& spec) const {
    if (spec.size == Size::Short) {
        return false;
    }
    if (spec.size == Size::Long || spec.size == Size::Wide) {
        return true;
    }
    const bool ownWidth = spec.type == 's' || spec.type == 'c';
    const bool wideFormat = sizeof(Char) == sizeof(wchar_t);
    return ownWidth == wideFormat;
}

template <typename Char> long long FormatEngine<Char>::fetchSigned(Size size) {
    switch (size) {
    case Size::Byte:
        return static_cast<signed char>(va_arg(*arguments_, int));
    case Size::Short:
        return static_cast<short>(va_arg(*arguments_, int));
    case Size::Long:
        return va_arg(*arguments_, long);
    case Size::LongLong:
    case Size::Int64:
        return va_arg(*arguments_, long long);
    case Size::SizeT:
    case Size::PtrDiff:
        return va_arg(*arguments_, ptrdiff_t);
    case Size::IntMax:
        return va_arg(*arguments_, intmax_t);
    default:
        return va_arg(*arguments_, int);
    }
}

template <typename Char> unsigned long long FormatEngine<Char>::fetchUnsigned(Size size) {
    switch (size) {
    case Size::Byte:
        return static_cast<unsigned char>(va_arg(*arguments_, unsigned int));
    case Size::Short:
        return static_cast<unsigned short>(va_arg(*arguments_, unsigned int));
    case Size::Long:
        return va_arg(*arguments_, unsigned long);
    case Size::LongLong:
    case Size::Int64:
        return va_arg(*arguments_, unsigned long long);
    case Size::SizeT:
    case Size::PtrDiff:
        return va_arg(*arguments_, size_t);
    case Size::IntMax:
        return va_arg(*arguments_, uintmax_t);
    default:
        return va_arg(*arguments_, unsigned int);
    }
}

template <typename Char> bool FormatEngine<Char>::convertSigned(const Spec& spec) {
    if (spec.size == Size::LongDouble || spec.size == Size::Wide) {
        return false;
    }
    const long long value = fetchSigned(spec.size);
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    const char sign = value < 0 ? '-' : spec.plusSign ? '+' : spec.spaceSign ? ' ' : 0;
    writeInteger(spec, magnitude, sign);
    return true;
}

template <typename Char> bool FormatEngine<Char>::convertUnsigned(const Spec& spec) {
    if (spec.size == Size::LongDouble || spec.size == Size::Wide) {
        return false;
    }
    writeInteger(spec, fetchUnsigned(spec.size), 0);
    return true;
}

// An integer as the C library writes it: at least `precision` digits (none for zero with a
// precision of 0), the sign or the 0x prefix of #x, a leading zero for #o, then padded to the
// width with blanks, or with zeros after the sign and prefix for the 0 flag without precision.
template <typename Char>
void FormatEngine<Char>::writeInteger(const Spec& spec, unsigned long long magnitude, char sign) {
    char digits[24];
    char* const end = digits + sizeof(digits);
    char* first = end;
    if (magnitude != 0 || spec.precision != 0) {
        switch (spec.type) {
        case 'o':
            first = writeDigits<8>(end, magnitude, false);
            break;
        case 'x':
        case 'X':
            first = writeDigits<16>(end, magnitude, spec.type == 'X');
            break;
        default:
            first = writeDigits<10>(end, magnitude, false);
            break;
        }
    }
    const size_t digitCount = static_cast<size_t>(end - first);

    const bool hexPrefix =
        sign == 0 && spec.alternate && magnitude != 0 && (spec.type == 'x' || spec.type == 'X');
    const size_t prefixLength = sign != 0 ? 1 : hexPrefix ? 2 : 0;

    const size_t precision = spec.precision < 0 ? 0 : static_cast<size_t>(spec.precision);
    size_t zeros = precision > digitCount ? precision - digitCount : 0;
    if (spec.alternate && spec.type == 'o' && zeros == 0 && (digitCount == 0 || *first != '0')) {
        zeros = 1;
    }
    const size_t body = prefixLength + zeros + digitCount;
    const size_t width = spec.width < 0 ? 0 : static_cast<size_t>(spec.width);
    const size_t padding = width > body ? width - body : 0;
    const bool zeroFill = spec.zeroPad && !spec.leftAlign && spec.precision < 0;

    if (!spec.leftAlign && !zeroFill) {
        output_.fill(' ', padding);
    }
    if (sign != 0) {
        output_.fill(static_cast<Char>(sign), 1);
    } else if (hexPrefix) {
        output_.fill('0', 1);
        output_.fill(static_cast<Char>(spec.type), 1);
    }
    output_.fill('0', zeroFill ? zeros + padding : zeros);
    output_.writeAscii(first, digitCount);
    if (spec.leftAlign) {
        output_.fill(' ', padding);
    }
}

// A pointer prints as the runtime prints one: upper-case hexadecimal, at least eight digits,
// padded with blanks.
template <typename Char> bool FormatEngine<Char>::convertPointer(const Spec& spec) {
    const auto value = reinterpret_cast<uintptr_t>(va_arg(*arguments_, void*));
    Spec digits;
    digits.leftAlign = spec.leftAlign;
    digits.width = spec.width;
    digits.precision = 8;
    digits.type = 'X';
    writeInteger(digits, value, 0);
    return true;
}

template <typename Char>
bool FormatEngine<Char>::convertString(const Spec& spec, bool wideArgument) {
    if (wideArgument) {
        const wchar_t* text = va_arg(*arguments_, const wchar_t*);
        if (text != nullptr) {
            writePadded(spec, text, boundedLength(text, spec.precision));
            return true;
        }
    } else {
        const char* text = va_arg(*arguments_, const char*);
        if (text != nullptr) {
            writePadded(spec, text, boundedLength(text, spec.precision));
            return true;
        }
    }
    writePadded(spec, NULL_TEXT, boundedLength(NULL_TEXT, spec.precision));
    return true;
}

template <typename Char>
bool FormatEngine<Char>::convertCharacter(const Spec& spec, bool wideArgument) {
    if (wideArgument) {
        const wchar_t character = static_cast<wchar_t>(va_arg(*arguments_, wint_t));
        writePadded(spec, &character, 1);
    } else {
        const char character = static_cast<char>(va_arg(*arguments_, int));
        writePadded(spec, &character, 1);
    }
    return true;
}

// Text padded to the width: blanks after it when left-aligned, else blanks or (with the
// 0 flag) zeros before it.
template <typename Char>
template <typename Text>
void FormatEngine<Char>::writePadded(const Spec& spec, const Text* text, size_t length) {
    const size_t width = spec.width < 0 ? 0 : static_cast<size_t>(spec.width);
    const size_t padding = width > length ? width - length : 0;
    if (!spec.leftAlign) {
        output_.fill(spec.zeroPad ? '0' : ' ', padding);
    }
    writeText(text, length);
    if (spec.leftAlign) {
        output_.fill(' ', padding);
    }
}

// Narrow text in the engine's character type: bytes are Windows-1252.
template <typename Char> void FormatEngine<Char>::writeText(const char* text, size_t length) {
    if constexpr (std::is_same_v<Char, char>) {
        output_.write(text, length);
    } else {
        output_.writeConverted(text, length, [](char byte) {
            return windows1252ToWide(static_cast<unsigned char>(byte));
        });
    }
}

// Wide text in the engine's character type: characters outside Windows-1252 become '?'.
template <typename Char> void FormatEngine<Char>::writeText(const wchar_t* text, size_t length) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        output_.write(text, length);
    } else {
        output_.writeConverted(text, length, [](wchar_t character) {
            return static_cast<char>(wideToWindows1252(character, '?'));
        });
    }
}

// --- Floating point -------------------------------------------------------------------------

template <typename Char>
template <typename Real>
void FormatEngine<Char>::hostFormat(char* out, const Spec& spec, int width, int precision) {
    *out++ = '%';
    if (spec.leftAlign) {
        *out++ = '-';
    }
    if (spec.plusSign) {
        *out++ = '+';
    }
    if (spec.spaceSign) {
        *out++ = ' ';
    }
    if (spec.alternate) {
        *out++ = '#';
    }
    if (spec.zeroPad) {
        *out++ = '0';
    }
    if (width >= 0) {
        out = writeDecimal(out, width);
    }
    if (precision >= 0) {
        *out++ = '.';
        out = writeDecimal(out, precision);
    }
    if (std::is_same_v<Real, long double>) {
        *out++ = 'L';
    }
    *out++ = static_cast<char>(spec.type);
    *out = 0;
}

template <typename Char>
template <typename Real>
bool FormatEngine<Char>::hostText(std::string& text, const Spec& spec, int width, int precision,
                                  Real value) {
    char format[HOST_FORMAT_SIZE];
    hostFormat<Real>(format, spec, width, precision);
    const int length = std::snprintf(nullptr, 0, format, value);
    if (length < 0) {
        return false;
    }
    text.resize(static_cast<size_t>(length) + 1);
    std::snprintf(&text[0], text.size(), format, value);
    text.resize(static_cast<size_t>(length));
    return true;
}

template <typename Char> bool FormatEngine<Char>::convertFloat(const Spec& spec) {
    if (spec.size == Size::LongDouble) {
        return writeFloat(spec, va_arg(*arguments_, long double));
    }
    if (spec.size != Size::None && spec.size != Size::Long) {
        return false;
    }
    return writeFloat(spec, va_arg(*arguments_, double));
}

// The host formats the number with the conversion's flags, width and precision; a number
// text longer than the stack buffer is made again on the heap.
template <typename Char>
template <typename Real>
bool FormatEngine<Char>::writeFloat(const Spec& spec, Real value) {
    if (spec.width > DIRECT_WIDTH || spec.precision > EXACT_DIGITS) {
        return writeLargeFloat(spec, value);
    }
    char format[HOST_FORMAT_SIZE];
    hostFormat<Real>(format, spec, spec.width, spec.precision);
    char digits[STACK_CHARACTERS];
    const int length = std::snprintf(digits, sizeof(digits), format, value);
    if (length < 0) {
        return false;
    }
    if (static_cast<size_t>(length) < sizeof(digits)) {
        output_.writeAscii(digits, static_cast<size_t>(length));
        return true;
    }
    std::unique_ptr<char[]> large(new char[static_cast<size_t>(length) + 1]);
    std::snprintf(large.get(), static_cast<size_t>(length) + 1, format, value);
    output_.writeAscii(large.get(), static_cast<size_t>(length));
    return true;
}

// A width or precision too large to ask of the host: the host makes the number without the
// width and with at most EXACT_DIGITS of precision. The zeros the larger precision adds go
// where one more digit of precision puts its zero, and the padding where a width of one more
// character puts its pad character; both are written here, and only as far as the output
// takes them.
template <typename Char>
template <typename Real>
bool FormatEngine<Char>::writeLargeFloat(const Spec& spec, Real value) {
    const int precision = std::min(spec.precision, EXACT_DIGITS);
    std::string base;
    if (!hostText(base, spec, -1, precision, value)) {
        return false;
    }
    size_t zerosAt = base.size();
    size_t zeros = 0;
    if (spec.precision > EXACT_DIGITS) {
        std::string finer;
        if (!hostText(finer, spec, -1, EXACT_DIGITS + 1, value)) {
            return false;
        }
        if (finer.size() == base.size() + 1) {
            zerosAt = firstDifference(base, finer);
            zeros = static_cast<size_t>(spec.precision - EXACT_DIGITS);
        }
    }
    const size_t body = base.size() + zeros;
    const size_t width = spec.width < 0 ? 0 : static_cast<size_t>(spec.width);
    const size_t padding = width > body ? width - body : 0;

    const bool padBefore = padding > 0 && !spec.leftAlign;
    size_t padAt = 0;
    char padCharacter = ' ';
    if (padBefore) {
        std::string probe;
        if (!hostText(probe, spec, static_cast<int>(base.size()) + 1, precision, value)) {
            return false;
        }
        if (probe.size() == base.size() + 1) {
            const size_t difference = firstDifference(base, probe);
            padCharacter = probe[difference];
            padAt = std::min(difference, zerosAt);
        }
    }
    if (padBefore) {
        output_.writeAscii(base.data(), padAt);
        output_.fill(static_cast<Char>(padCharacter), padding);
    }
    output_.writeAscii(base.data() + padAt, zerosAt - padAt);
    output_.fill('0', zeros);
    output_.writeAscii(base.data() + zerosAt, base.size() - zerosAt);
    if (!padBefore) {
        output_.fill(' ', padding);
    }
    return true;
}

template class FormatEngine<char>;
template class FormatEngine<wchar_t>;

} // namespace krel_platform
