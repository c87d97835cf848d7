// Text rules shared by the configuration classes: the white space that trimming removes and
// the characters that may never enter a configuration's names, values or comments.
#pragma once

#include <string>
#include <string_view>

namespace krel_std_internal {

class ConfigurationText {
public:
    // The text without white space at both ends. White space is blank, tab, line feed,
    // vertical tab, form feed and carriage return: a fixed set, so a file reads the same
    // whatever the process's locale.
    static std::wstring trim(const std::wstring& text);

    // The text without white space at its right end.
    static std::wstring trimRight(const std::wstring& text);

    // The same as trim and trimRight, as views into the text.
    static std::wstring_view trimmed(std::wstring_view text);
    static std::wstring_view trimmedRight(std::wstring_view text);

    static bool isWhiteSpace(wchar_t character) {
        return character == L' ' || (character >= L'\t' && character <= L'\r');
    }

    // Refuses text holding CR, LF or NUL with KrelIllegalArgumentException
    // "<name> value contains a line break or NUL character.": such text would end its line
    // early when written, and the rest would be read back as other lines (sections or keys).
    static void checkSingleLine(const std::wstring& text, const wchar_t* context,
                                const wchar_t* name);

    // Refuses text holding a character that the charset cannot hold (see
    // ConfigurationCodec::findUnencodable) with KrelIllegalArgumentException "<subject> contains
    // character U+XXXX, which charset <charset> cannot hold.": such text would be written with a
    // substitute in its place and read back as other text.
    static void checkCharset(const std::wstring& text, const std::wstring& charset,
                             const wchar_t* context, const std::wstring& subject);

private:
    ConfigurationText() = delete;
};

} // namespace krel_std_internal
