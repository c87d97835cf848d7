#include "platform/FormatEngine.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/Windows1252.h"

namespace krel_platform {

namespace {

const char kNullText[] = "(null)";

// Narrow text in the engine's character type: bytes are Windows-1252.
void appendNarrow(std::wstring& target, const char* text, size_t length) {
    for (size_t index = 0; index < length; ++index) {
        target.push_back(windows1252ToWide(static_cast<unsigned char>(text[index])));
    }
}

void appendNarrow(std::string& target, const char* text, size_t length) {
    target.append(text, length);
}

void appendWide(std::wstring& target, const wchar_t* text, size_t length) {
    target.append(text, length);
}

void appendWide(std::string& target, const wchar_t* text, size_t length) {
    for (size_t index = 0; index < length; ++index) {
        target.push_back(static_cast<char>(wideToWindows1252(text[index], '?')));
    }
}

// The length of a string argument, at most `precision` characters when one is given. The
// characters are read here, in code built to turn a memory fault into an exception, rather than
// by the C library's string functions: those are declared not to throw, so a fault inside them
// could not reach the caller as an exception.
template <typename Char> size_t boundedLength(const Char* text, int precision) {
    const size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

} // namespace

template <typename Char>
bool FormatEngine<Char>::format(std::basic_string<Char>& target, const Char* format,
                                va_list* arguments) {
    if (format == nullptr) {
        return false;
    }
    FormatEngine engine(format, arguments);
    if (!engine.run()) {
        return false;
    }
    target.append(engine.text_);
    return true;
}

template <typename Char>
FormatEngine<Char>::FormatEngine(const Char* format, va_list* arguments)
    : position_(format), arguments_(arguments) {}

template <typename Char> bool FormatEngine<Char>::run() {
    while (*position_ != 0) {
        if (*position_ != '%') {
            text_.push_back(*position_++);
            continue;
        }
        ++position_;
        Spec spec;
        if (!parseSpec(spec) || !convert(spec)) {
            return false;
        }
    }
    return true;
}

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
    for (;;) {
        const Char flag = *position_;
        if (flag != '-' && flag != '+' && flag != ' ' && flag != '#' && flag != '0') {
            return;
        }
        spec.leftAlign = spec.leftAlign || flag == '-';
        spec.zeroPad = spec.zeroPad || flag == '0';
        spec.flags.push_back(static_cast<char>(flag));
        ++position_;
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
        spec.flags.push_back('-');
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

template <typename Char> bool FormatEngine<Char>::startsWith(const char* text) const {
    for (size_t index = 0; text[index] != 0; ++index) {
        if (position_[index] != static_cast<Char>(text[index])) {
            return false;
        }
    }
    return true;
}

template <typename Char> void FormatEngine<Char>::parseSize(Spec& spec) {
    struct Prefix {
        const char* text;
        Size size;
    };
    static const Prefix prefixes[] = {
        {"I64", Size::Int64}, {"I32", Size::Int32},   {"I", Size::SizeT},   {"hh", Size::Byte},
        {"h", Size::Short},   {"ll", Size::LongLong}, {"l", Size::Long},    {"L", Size::LongDouble},
        {"w", Size::Wide},    {"z", Size::SizeT},     {"t", Size::PtrDiff}, {"j", Size::IntMax}};
    for (const Prefix& prefix : prefixes) {
        if (startsWith(prefix.text)) {
            spec.size = prefix.size;
            position_ += std::strlen(prefix.text);
            return;
        }
    }
}

template <typename Char> bool FormatEngine<Char>::convert(const Spec& spec) {
    switch (spec.type) {
    case '%':
        text_.push_back('%');
        return true;
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
    return appendNumber(spec, "ll", fetchSigned(spec.size));
}

template <typename Char> bool FormatEngine<Char>::convertUnsigned(const Spec& spec) {
    if (spec.size == Size::LongDouble || spec.size == Size::Wide) {
        return false;
    }
    return appendNumber(spec, "ll", fetchUnsigned(spec.size));
}

template <typename Char> bool FormatEngine<Char>::convertFloat(const Spec& spec) {
    if (spec.size == Size::LongDouble) {
        return appendNumber(spec, "L", va_arg(*arguments_, long double));
    }
    if (spec.size != Size::None && spec.size != Size::Long) {
        return false;
    }
    return appendNumber(spec, "", va_arg(*arguments_, double));
}

// A pointer prints as the runtime prints one: upper-case hexadecimal, at least eight digits.
template <typename Char> bool FormatEngine<Char>::convertPointer(const Spec& spec) {
    const auto value = reinterpret_cast<uintptr_t>(va_arg(*arguments_, void*));
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%08llX", static_cast<unsigned long long>(value));
    std::basic_string<Char> piece(digits, digits + std::strlen(digits));
    Spec padding = spec;
    padding.zeroPad = false;
    appendPadded(piece, padding);
    return true;
}

template <typename Char>
bool FormatEngine<Char>::convertString(const Spec& spec, bool wideArgument) {
    std::basic_string<Char> piece;
    if (wideArgument) {
        const wchar_t* text = va_arg(*arguments_, const wchar_t*);
        if (text != nullptr) {
            appendWide(piece, text, boundedLength(text, spec.precision));
            appendPadded(piece, spec);
            return true;
        }
    } else {
        const char* text = va_arg(*arguments_, const char*);
        if (text != nullptr) {
            appendNarrow(piece, text, boundedLength(text, spec.precision));
            appendPadded(piece, spec);
            return true;
        }
    }
    appendNarrow(piece, kNullText, boundedLength(kNullText, spec.precision));
    appendPadded(piece, spec);
    return true;
}

template <typename Char>
bool FormatEngine<Char>::convertCharacter(const Spec& spec, bool wideArgument) {
    std::basic_string<Char> piece;
    if (wideArgument) {
        const wchar_t character = static_cast<wchar_t>(va_arg(*arguments_, wint_t));
        appendWide(piece, &character, 1);
    } else {
        const char character = static_cast<char>(va_arg(*arguments_, int));
        appendNarrow(piece, &character, 1);
    }
    appendPadded(piece, spec);
    return true;
}

// Formats one number with the host's snprintf: the flags, width and precision of the
// conversion, the given length modifier and the conversion's type letter.
template <typename Char>
bool FormatEngine<Char>::appendNumber(const Spec& spec, const char* lengthModifier, ...) {
    std::string numberFormat = "%" + spec.flags;
    if (spec.width >= 0) {
        numberFormat += std::to_string(spec.width);
    }
    if (spec.precision >= 0) {
        numberFormat += "." + std::to_string(spec.precision);
    }
    numberFormat += lengthModifier;
    numberFormat.push_back(static_cast<char>(spec.type));

    va_list value;
    va_start(value, lengthModifier);
    va_list measure;
    va_copy(measure, value);
    const int length = std::vsnprintf(nullptr, 0, numberFormat.c_str(), measure);
    va_end(measure);
    if (length < 0) {
        va_end(value);
        return false;
    }
    std::vector<char> digits(static_cast<size_t>(length) + 1);
    std::vsnprintf(digits.data(), digits.size(), numberFormat.c_str(), value);
    va_end(value);
    appendAscii(std::string(digits.data(), static_cast<size_t>(length)));
    return true;
}

template <typename Char> void FormatEngine<Char>::appendAscii(const std::string& text) {
    text_.append(text.begin(), text.end());
}

template <typename Char>
void FormatEngine<Char>::appendPadded(const std::basic_string<Char>& piece, const Spec& spec) {
    const size_t width = spec.width < 0 ? 0 : static_cast<size_t>(spec.width);
    const size_t fill = width > piece.size() ? width - piece.size() : 0;
    if (spec.leftAlign) {
        text_.append(piece);
        text_.append(fill, static_cast<Char>(' '));
        return;
    }
    text_.append(fill, static_cast<Char>(spec.zeroPad ? '0' : ' '));
    text_.append(piece);
}

template class FormatEngine<char>;
template class FormatEngine<wchar_t>;

} // namespace krel_platform
