// Bytes of a configuration file to text and back, in the charsets configurations accept.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <string_view>

namespace krel_std {
class ByteArray;
} // namespace krel_std

namespace krel_std_internal {

class ConfigurationCodec {
public:
    // The text of all the bytes, without one leading byte-order mark. Bytes that do not decode
    // in full, and text holding NUL, throw KrelIOException: a configuration read in part would
    // lose the rest at its next save.
    static std::wstring decode(const krel_std::ByteArray& bytes, const std::wstring& charset);

    // Refuses bytes of windows-1252 or UTF-8 that hold a form of NUL (a zero byte, or an
    // overlong UTF-8 form) with KrelIOException.
    static void refuseNul(std::string_view bytes, const std::wstring& charset);

    // The text encoded in the charset, with no byte-order mark.
    static boost::shared_ptr<krel_std::ByteArray> encode(const std::wstring& text,
                                                         const std::wstring& charset);

private:
    ConfigurationCodec() = delete;

    static std::wstring decodeText(const krel_std::ByteArray& bytes, const std::wstring& charset);
    [[noreturn]] static void refuse(const std::wstring& message);
};

} // namespace krel_std_internal
