// StringUtils, static helpers on wide text, with the printf-style format engine.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace krel_std {

class ByteArray;

// Static helpers on wide text: prefixes, character classes, trimming, printf-style formatting
// (the engine under every log message), size texts and the lines of a decoded file.
class StringUtils {
public:
    virtual ~StringUtils();

    // True when the text begins with the prefix (exact); true for an empty prefix.
    static bool hasPrefix(const std::wstring& text, const std::wstring& prefix);

    // The text without the prefix; the empty text when the text does not begin with it
    // (callers rely on that to pass over keys without the prefix).
    static std::wstring trimPrefix(const std::wstring& text, const std::wstring& prefix);

    // The most characters of an offending text that an exception or trace quotes.
    static const std::size_t QUOTED_TEXT_LIMIT = 100;

    // The text as a message quotes it: whole when it has at most `limit` characters, else its
    // first `limit` characters followed by an ellipsis ("\u2026"), so that a hostile text of any
    // length costs a message no more than a short prefix.
    static std::wstring quotedPrefix(const std::wstring& text,
                                     std::size_t limit = QUOTED_TEXT_LIMIT);

    // The text, or "NULL" for a null pointer.
    static std::wstring nullCheckedString(const wchar_t* text);

    // True when every character is a decimal digit; true for the empty text.
    static bool isDigits(const std::wstring& text);

    // True when every character is a hexadecimal digit; true for the empty text.
    static bool isHexadecimal(const std::wstring& text);

    // Removes white space (full Unicode classification) from both ends of the argument itself
    // and answers a copy of the result.
    static std::wstring trimString(std::wstring& text);

    // Formats the arguments with the Windows runtime's wide printf rules and appends the text
    // to the target. The target changes only when the whole text was made.
    // Throws KrelIllegalArgumentException for a null format or a format that cannot be
    // formatted (a text longer than INT_MAX characters included), KrelOutOfResourcesException
    // when memory runs out.
    static void sprintfStringAppend(std::wstring& target, const wchar_t* format, ...);

    // The same with an argument list, which is copied and so stays usable for the caller.
    static void sprintfStringAppendVA(std::wstring& target, va_list arguments,
                                      const wchar_t* format);

    // A size in bytes from a text such as "10 KB", "1.5MB" or "2 gb"; the default value for an
    // empty text, an unreadable number is the default multiplied by the unit. Results beyond
    // the range of int are clamped to it.
    static int convertSizeString(const std::wstring& text, int defaultValue);

    // The lines of the bytes decoded with the charset: CR LF, CR and LF all end a line, empty
    // lines are kept and a text ending with a line end has a last, empty line. A decoded zero
    // (also an overlong UTF-8 form of it) stays in its line as a character.
    static std::vector<std::wstring> getLines(const ByteArray& bytes, const std::wstring& charset);

    // The first line separator of the decoded bytes ("\r\n", "\r" or "\n"); empty when none.
    static std::wstring getLineSeparator(const ByteArray& bytes, const std::wstring& charset);

    // The value as text through a wide string stream with boolalpha: integers in decimal,
    // bool as "true"/"false", floating point with six significant digits, and pointers (other
    // than character pointers, which print their text) as upper-case hexadecimal with at least
    // eight digits.
    template <typename T> static std::wstring toWString(const T& value) {
        if constexpr (std::is_pointer_v<T> && !isCharacterPointer<T>()) {
            return pointerToWString(reinterpret_cast<uintptr_t>(value));
        } else {
            std::wostringstream stream;
            stream << std::boolalpha << value;
            return stream.str();
        }
    }

    // One value read from the text by the stream's extraction (leading white space skipped,
    // whatever follows ignored); the default when no value can be read.
    template <typename T> static T parseNumber(const std::wstring& text, T defaultValue) {
        std::wistringstream stream(text);
        T value;
        if (stream >> value) {
            return value;
        }
        return defaultValue;
    }

private:
    StringUtils();
    StringUtils(const StringUtils&);
    StringUtils& operator=(const StringUtils&);

    template <typename T> static constexpr bool isCharacterPointer() {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
        return std::is_same_v<Pointee, char> || std::is_same_v<Pointee, wchar_t>;
    }

    static std::wstring pointerToWString(uintptr_t value);
};

} // namespace krel_std
