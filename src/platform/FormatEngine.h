#pragma once

#include <cstdarg>
#include <string>

namespace krel_platform {

// The printf engine behind the C runtime stand-ins, with the Windows runtime's rules (see
// platform/WinCrt.h). Text is handled one conversion at a time; numbers go through the host's
// snprintf, strings, characters and pointers are written here. The engine walks the format
// once, so it never loops without bound, and it reads each argument exactly once.
template <typename Char> class FormatEngine {
public:
    // Formats with the given argument list (which it consumes) and appends the text to target.
    // Answers false, leaving target unchanged, when the format is refused.
    static bool format(std::basic_string<Char>& target, const Char* format, va_list* arguments);

private:
    enum class Size {
        None,
        Byte,
        Short,
        Long,
        LongLong,
        Int32,
        Int64,
        SizeT,
        PtrDiff,
        IntMax,
        LongDouble,
        Wide
    };

    struct Spec {
        std::string flags;
        bool leftAlign = false;
        bool zeroPad = false;
        int width = -1;
        int precision = -1;
        Size size = Size::None;
        Char type = 0;
    };

    FormatEngine(const Char* format, va_list* arguments);

    bool run();
    bool parseSpec(Spec& spec);
    void parseFlags(Spec& spec);
    bool parseWidth(Spec& spec);
    bool parsePrecision(Spec& spec);
    bool parseNumber(int& value);
    void parseSize(Spec& spec);
    bool startsWith(const char* text) const;

    bool convert(const Spec& spec);
    bool convertSigned(const Spec& spec);
    bool convertUnsigned(const Spec& spec);
    bool convertFloat(const Spec& spec);
    bool convertPointer(const Spec& spec);
    bool convertString(const Spec& spec, bool wideArgument);
    bool convertCharacter(const Spec& spec, bool wideArgument);
    bool isWideArgument(const Spec& spec) const;

    long long fetchSigned(Size size);
    unsigned long long fetchUnsigned(Size size);
    bool appendNumber(const Spec& spec, const char* lengthModifier, ...);
    void appendAscii(const std::string& text);
    void appendPadded(const std::basic_string<Char>& piece, const Spec& spec);

    const Char* position_;
    va_list* arguments_;
    std::basic_string<Char> text_;
};

extern template class FormatEngine<char>;
extern template class FormatEngine<wchar_t>;

} // namespace krel_platform
