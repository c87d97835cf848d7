#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace krel_platform {

// The printf engine behind the C runtime stand-ins, with the Windows runtime's rules (see
// platform/WinCrt.h). Integers, strings, characters and pointers are written here; floating
// point goes through the host's snprintf one conversion at a time. The engine walks the format
// once, so it never loops without bound.
//
// Text is made only where the caller receives it: straight into the caller's buffer, or into a
// stack buffer. A text too long for the stack buffer is counted to its end and then made once
// more, from a copy of the argument list taken before the first pass, into a string of its
// exact length. Padding and zeros beyond what the caller can receive are counted, never made,
// and a text longer than INT_MAX characters is refused before any of it is made.
//
// The engine is internal to the library; keeping its symbols hidden lets its own calls bind
// directly instead of through the dynamic linker.
template <typename Char> class __attribute__((visibility("hidden"))) FormatEngine {
public:
    // Formats with the given argument list (which it consumes) and appends the text to target.
    // Answers false, leaving target unchanged, when the format is refused or the text would be
    // longer than INT_MAX characters. Throws std::bad_alloc, leaving target unchanged, when
    // memory runs out.
    static bool format(std::basic_string<Char>& target, const Char* format, va_list* arguments);

    // Formats with the given argument list (which it consumes) into buffer, which receives the
    // first count characters of the text and no terminator. Answers the length of the whole
    // text, also when it is longer than count, or -1 when the format is refused or the text
    // would be longer than INT_MAX characters (what was made before the refusal may have been
    // written). Allocates only for floating point with a very large width or precision, and
    // throws std::bad_alloc when that fails.
    static int formatCounted(Char* buffer, size_t count, const Char* format, va_list* arguments);

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
        bool leftAlign = false;
        bool zeroPad = false;
        bool plusSign = false;
        bool spaceSign = false;
        bool alternate = false;
        int width = -1;
        int precision = -1;
        Size size = Size::None;
        Char type = 0;
    };

    // Where the text goes: a window of characters (the caller's buffer, the engine's stack
    // buffer or a string of the text's exact length) that counts everything written and keeps
    // what fits.
    class Output {
    public:
        Output(Char* window, size_t capacity);
        Output(const Output&) = delete;
        Output& operator=(const Output&) = delete;

        void write(const Char* text, size_t length);
        void fill(Char character, size_t count);
        void writeAscii(const char* text, size_t length);
        template <typename Source, typename Convert>
        void writeConverted(const Source* text, size_t length, Convert convert);

        // The length of the whole text so far, kept and counted.
        size_t length() const { return length_; }
        // True once the text would be longer than INT_MAX characters; nothing more is taken.
        bool tooLong() const { return tooLong_; }

    private:
        Char* room(size_t count, size_t& writable);
        Char* roomBeyondWindow(size_t count, size_t& writable);

        Char* window_;
        size_t capacity_;
        size_t length_ = 0;
        bool tooLong_ = false;
    };

    FormatEngine(const Char* format, va_list* arguments, Output& output);

    bool run();
    bool parseSpec(Spec& spec);
    void parseFlags(Spec& spec);
    bool parseWidth(Spec& spec);
    bool parsePrecision(Spec& spec);
    bool parseNumber(int& value);
    void parseSize(Spec& spec);

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
    void writeInteger(const Spec& spec, unsigned long long magnitude, char sign);
    template <typename Text> void writePadded(const Spec& spec, const Text* text, size_t length);
    void writeText(const char* text, size_t length);
    void writeText(const wchar_t* text, size_t length);
    template <typename Real>
    static void hostFormat(char* out, const Spec& spec, int width, int precision);
    template <typename Real>
    static bool hostText(std::string& text, const Spec& spec, int width, int precision, Real value);
    template <typename Real> bool writeFloat(const Spec& spec, Real value);
    template <typename Real> bool writeLargeFloat(const Spec& spec, Real value);

    const Char* position_;
    va_list* arguments_;
    Output& output_;
};

extern template class FormatEngine<char>;
extern template class FormatEngine<wchar_t>;

} // namespace krel_platform
