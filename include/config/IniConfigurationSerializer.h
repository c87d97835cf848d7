// IniConfigurationSerializer, the INI text format of the library's configuration files.
#pragma once

#include <ostream>
#include <string>

#include "config/ConfigurationSerializer.h"
#include "config/ConfigurationVisitor.h"

namespace krel_std {

class ConfigurationElement;
class ConfigurationSection;

// The INI text format of every configuration file of the library.
//
//   [name]        a section header; the unnamed section's lines come before any header
//   key=value     a key/value line; "\" escapes a "\", "=", "#" or "[" of the key
//   #comment      a comment line
//
// Reading keeps comments, empty lines and the order of sections and keys, so a file read and
// written again changes only where its lines were malformed (a line that is none of the above
// becomes an empty line; a "[" line without "]" is dropped). Every written line, the last
// included, ends with the line separator: the one found first in the file last read, else
// "\r\n".
class IniConfigurationSerializer : public ConfigurationSerializer {
public:
    // Writes sections and elements as INI lines to a wide-text stream.
    class SerializationVisitor : public ConfigurationVisitor {
    public:
        // The stream is not owned and must outlive the visitor.
        SerializationVisitor(std::wostream& stream, const std::wstring& lineSeparator);
        // Ends lines with File::lineSeparator ("\r\n").
        explicit SerializationVisitor(std::wostream& stream);

        // An empty line, "key=value" with the key escaped, or "#comment".
        void visit(const ConfigurationElement& element) override;
        // "[name]"; the unnamed section writes nothing.
        void visit(const ConfigurationSection& section) override;

        // The key with a backslash before each "\", "=", "#" and "[".
        static std::wstring escapeKey(const std::wstring& key);

    private:
        std::wostream& stream;
        std::wstring lineSeparator;
    };

    // Refuses an invalid charset with KrelIllegalArgumentException.
    explicit IniConfigurationSerializer(const std::wstring& charset = defaultCharset);
    IniConfigurationSerializer(const IniConfigurationSerializer& other) = default;
    IniConfigurationSerializer& operator=(const IniConfigurationSerializer& other) = default;
    ~IniConfigurationSerializer() override;

    // The configuration's lines encoded in the charset, after the UTF-8 byte-order mark when
    // the bytes last read began with one, or when the lines' own bytes begin as the mark does
    // (a reader would take them for it). Sets the line separator to "\r\n" first when it is
    // empty.
    boost::shared_ptr<ByteArray> serialize(const Configuration& configuration) override;
    // A new configuration read from the bytes, and the bytes' line separator remembered ("" when
    // they hold none). Bytes that are not text of the charset, or text holding NUL, throw
    // KrelIOException and change nothing. One leading UTF-8 byte-order mark (EF BB BF) is
    // skipped whatever the charset, and remembered so that the bytes written begin with it
    // again; in UCS-2 one leading U+FEFF is skipped too.
    boost::shared_ptr<Configuration> deserialize(const ByteArray& bytes) override;
    // A new IniConfigurationSerializer of the same charset, with no line separator.
    ConfigurationSerializer* newInstance() const override;
};

} // namespace krel_std
