#include "config/IniConfigurationSerializer.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "base/ByteArray.h"
#include "base/LogFunctionCall.h"
#include "config/Configuration.h"
#include "config/ConfigurationCodec.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "config/IniTextParser.h"
#include "config/IniTextWriter.h"
#include "file/File.h"
#include "platform/Windows1252.h"

using krel_std_internal::CompactText;
using krel_std_internal::ConfigurationCodec;
using krel_std_internal::IniTextParser;
using krel_std_internal::IniTextWriter;

namespace krel_std {

namespace {

std::wstring widened(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    std::transform(bytes.begin(), bytes.end(), text.begin(), CompactText::byteValue);
    return text;
}

// Text written to a wide stream.
class StreamSink {
public:
    explicit StreamSink(std::wostream& stream) : stream(stream) {}

    // Formatted output, so the stream's own settings apply as to any text written to it.
    void append(wchar_t character) { stream << character; }
    void append(std::wstring_view text) { stream << text; }
    void append(std::string_view bytes) { stream << widened(bytes); }

private:
    std::wostream& stream;
};

// Text collected in a wide string.
class TextSink {
public:
    void append(wchar_t character) { text.push_back(character); }
    void append(std::wstring_view text) { this->text.append(text); }
    void append(std::string_view bytes) {
        std::transform(bytes.begin(), bytes.end(), std::back_inserter(text),
                       CompactText::byteValue);
    }

    std::wstring text;
};

// Text encoded in windows-1252 as it comes: a character the code page does not hold becomes
// "?", as the system's conversion makes it.
class Windows1252Sink {
public:
    void append(wchar_t character) {
        unsigned char byte = static_cast<unsigned char>(character);
        if ((character < 0 || character >= 0x80) &&
            !krel_platform::tryWideToWindows1252(character, byte)) {
            byte = '?';
        }
        bytes.push_back(static_cast<char>(byte));
    }
    void append(std::wstring_view text) {
        for (wchar_t character : text) {
            append(character);
        }
    }
    // Characters below U+0080 are the same byte in windows-1252: copied as they are, and only
    // the others encoded one by one.
    void append(std::string_view characters) {
        const size_t start = bytes.size();
        bytes.append(characters);
        for (size_t index = start; index < bytes.size(); ++index) {
            if (static_cast<uint8_t>(bytes[index]) >= 0x80) {
                bytes[index] = encoded(CompactText::byteValue(bytes[index]));
            }
        }
    }

    std::string bytes;

private:
    static char encoded(wchar_t character) {
        return static_cast<char>(krel_platform::wideToWindows1252(character, '?'));
    }
};

// Writes the lines of the sections and elements it visits to a sink.
template <typename Sink> class LineVisitor : public ConfigurationVisitor {
public:
    LineVisitor(Sink& sink, std::wstring_view lineSeparator)
        : sink(sink), lineSeparator(lineSeparator) {}

    void visit(const ConfigurationElement& element) override {
        IniTextWriter::writeElement(sink, element, lineSeparator);
    }
    void visit(const ConfigurationSection& section) override {
        IniTextWriter::writeSection(sink, section.getName(), lineSeparator);
    }

private:
    Sink& sink;
    std::wstring_view lineSeparator;
};

template <typename Sink>
void writeLines(Sink& sink, const Configuration& configuration, std::wstring_view lineSeparator) {
    LineVisitor<Sink> visitor(sink, lineSeparator);
    configuration.visit(visitor);
}

} // namespace

IniConfigurationSerializer::SerializationVisitor::SerializationVisitor(
    std::wostream& stream, const std::wstring& lineSeparator)
    : stream(stream), lineSeparator(lineSeparator) {}

IniConfigurationSerializer::SerializationVisitor::SerializationVisitor(std::wostream& stream)
    : stream(stream), lineSeparator(File::lineSeparator) {}

void IniConfigurationSerializer::SerializationVisitor::visit(const ConfigurationElement& element) {
    StreamSink sink(stream);
    IniTextWriter::writeElement(sink, element, lineSeparator);
}

void IniConfigurationSerializer::SerializationVisitor::visit(const ConfigurationSection& section) {
    StreamSink sink(stream);
    IniTextWriter::writeSection(sink, section.getName(), lineSeparator);
}

std::wstring IniConfigurationSerializer::SerializationVisitor::escapeKey(const std::wstring& key) {
    TextSink sink;
    IniTextWriter::writeEscapedKey(sink, std::wstring_view(key));
    return sink.text;
}

IniConfigurationSerializer::IniConfigurationSerializer(const std::wstring& charset)
    : ConfigurationSerializer(charset) {}

IniConfigurationSerializer::~IniConfigurationSerializer() {}

boost::shared_ptr<ByteArray>
IniConfigurationSerializer::serialize(const Configuration& configuration) {
    KREL_TRACE_SCOPE(L"krel_std::IniConfigurationSerializer::serialize");
    const std::wstring lineSeparator = getLineSeparatorOr(File::lineSeparator);
    const std::wstring charset = getCharset();
    const bool remembered = getByteOrderMark();
    const std::string_view mark = ConfigurationCodec::UTF8_BYTE_ORDER_MARK;
    if (charset == L"windows-1252") {
        // Encoded line by line: the whole text is never held as wide characters.
        Windows1252Sink sink;
        sink.bytes.assign(remembered ? mark : std::string_view());
        writeLines(sink, configuration, lineSeparator);
        if (!remembered && ConfigurationCodec::beginsWithByteOrderMark(sink.bytes)) {
            sink.bytes.insert(0, mark);
        }
        return boost::shared_ptr<ByteArray>(new ByteArray(sink.bytes));
    }
    TextSink sink;
    writeLines(sink, configuration, lineSeparator);
    const boost::shared_ptr<ByteArray> encoded = ConfigurationCodec::encode(sink.text, charset);
    const std::string_view bytes(encoded->getArray().get(),
                                 static_cast<size_t>(encoded->getLength()));
    if (!remembered && !ConfigurationCodec::beginsWithByteOrderMark(bytes)) {
        return encoded;
    }
    return boost::shared_ptr<ByteArray>(new ByteArray(std::string(mark) + std::string(bytes)));
}

boost::shared_ptr<Configuration> IniConfigurationSerializer::deserialize(const ByteArray& bytes) {
    KREL_TRACE_SCOPE(L"krel_std::IniConfigurationSerializer::deserialize");
    boost::shared_ptr<Configuration> configuration(new Configuration());
    const IniTextParser::Layout layout = IniTextParser::read(bytes, getCharset(), *configuration);
    setLineSeparator(layout.lineSeparator);
    setByteOrderMark(layout.byteOrderMark);
    return configuration;
}

ConfigurationSerializer* IniConfigurationSerializer::newInstance() const {
    return new IniConfigurationSerializer(getCharset());
}

} // namespace krel_std
