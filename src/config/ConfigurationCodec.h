// Bytes of a configuration file to text and back, in the charsets configurations accept.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>
#include <string_view>

namespace krel_std {
class ByteArray;
} // namespace krel_std

namespace krel_std_internal {

class ConfigurationCodec {
public:
    // The UTF-8 byte-order mark, EF BB BF: one at the head of a file is skipped whatever the
    // charset, so a file an editor saved "with BOM" reads as the same lines.
    static constexpr std::string_view UTF8_BYTE_ORDER_MARK = "\xEF\xBB\xBF";

    // Whether the bytes begin with the UTF-8 byte-order mark.
    static bool beginsWithByteOrderMark(std::string_view bytes);

    // The text of all the bytes, without one leading UTF-8 byte-order mark (see
    // beginsWithByteOrderMark) or, in UTF-16, one leading U+FEFF. Bytes that do not decode in
    // full, and text holding NUL, throw KrelIOException: a configuration read in part would
    // lose the rest at its next save.
    static std::wstring decode(const krel_std::ByteArray& bytes, const std::wstring& charset);

    // Refuses bytes of windows-1252 or UTF-8 that hold a form of NUL (a zero byte, or an
    // overlong UTF-8 form) with KrelIOException.
    static void refuseNul(std::string_view bytes, const std::wstring& charset);

    // The text encoded in the charset, with no byte-order mark.
    static boost::shared_ptr<krel_std::ByteArray> encode(const std::wstring& text,
                                                         const std::wstring& charset);

    // The index of the first character at or above U+0080, npos when there is none: every
    // charset holds text below U+0080 as it is.
    static std::size_t findNonAscii(std::wstring_view text);

    // The index of the first character of the text that the charset cannot hold, npos when it
    // holds them all. A surrogate is never held; any other character is held when the
    // conversion of the charset encodes it as itself rather than as a substitute ('?' in
    // windows-1252, U+FFFD in UTF-8 and UTF-16).
    static std::size_t findUnencodable(std::wstring_view text, const std::wstring& charset);

private:
    ConfigurationCodec() = delete;

    // The text of the bytes after the first `skipped`.
    static std::wstring decodeText(const krel_std::ByteArray& bytes, std::size_t skipped,
                                   const std::wstring& charset);
    [[noreturn]] static void refuse(const std::wstring& message);
    static bool isEncodable(wchar_t character, const std::wstring& charset);
};

} // namespace krel_std_internal
