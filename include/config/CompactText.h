// Wide text held in the least room, used by the configuration classes for the lines they keep.
// Not part of the library's interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace krel_std_internal {

// Text of wide characters stored one byte per character while every character is below U+0100
// (the byte is the character's value), and four bytes per character otherwise. Most
// configuration text is of the first kind and takes a quarter of the room of a std::wstring.
//
// Parts of the text are read through visit, which hands the part to a function as a
// std::string_view of such bytes or as a std::wstring_view; byteValue turns a byte of the
// first back into its character. Offsets and lengths count characters in both forms.
class CompactText {
public:
    // The empty text.
    CompactText() = default;
    explicit CompactText(std::wstring_view initial) { assign(initial); }

    // The character a byte of the one-byte form stands for.
    static wchar_t byteValue(char byte) { return static_cast<wchar_t>(static_cast<uint8_t>(byte)); }

    size_t size() const;

    void assign(std::wstring_view replacement);
    // Replaces the `length` characters at `offset` (up to the end when fewer are left) with the
    // replacement, as std::wstring::replace does; an offset past the end throws
    // std::out_of_range. The form is chosen again for the whole new text.
    void replace(size_t offset, size_t length, std::wstring_view replacement);
    void clear();

    // The `length` characters at `offset` (up to the end when fewer are left).
    std::wstring part(size_t offset, size_t length) const;
    // Whether the part is the same text as the other.
    bool partEquals(size_t offset, size_t length, std::wstring_view other) const;

    // Calls visit(view) with the part as a std::string_view of the one-byte form or as a
    // std::wstring_view, and answers its result. The part must lie within the text.
    template <typename Visit>
    decltype(auto) visit(size_t offset, size_t length, Visit&& visit) const {
        if (const std::string* bytes = std::get_if<std::string>(&text)) {
            return visit(std::string_view(*bytes).substr(offset, length));
        }
        return visit(std::wstring_view(std::get<std::wstring>(text)).substr(offset, length));
    }

private:
    // Whether every character fits the one-byte form.
    static bool fitsBytes(std::wstring_view text);
    // Writes the byte of each character's value to `to`; whether every character fits a byte.
    static bool copyBytes(std::wstring_view from, char* to);
    static std::wstring widened(std::string_view bytes);

    std::variant<std::string, std::wstring> text;
};

} // namespace krel_std_internal
