// Reads the INI text of a configuration file into a configuration.
#pragma once

#include <string>

namespace krel_std {
class ByteArray;
class Configuration;
} // namespace krel_std

namespace krel_std_internal {

// Reads INI text in one pass over it, without a list of its lines: windows-1252 straight from
// the bytes, the other charsets from their decoded text.
class IniTextParser {
public:
    // What the bytes held besides their lines, for writing them back the same way.
    struct Layout {
        // The text's first line separator ("\r\n", "\r" or "\n"; "" when it has none).
        std::wstring lineSeparator;
        // Whether the bytes began with the UTF-8 byte-order mark, which is no part of the text.
        bool byteOrderMark = false;
    };

    // Adds the lines of the bytes to a new configuration and answers their layout. Bytes that
    // are not text of the charset, or text holding NUL, throw KrelIOException before anything
    // is added.
    static Layout read(const krel_std::ByteArray& bytes, const std::wstring& charset,
                       krel_std::Configuration& configuration);

private:
    IniTextParser() = delete;
};

} // namespace krel_std_internal
