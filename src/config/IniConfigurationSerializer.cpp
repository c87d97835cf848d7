#include "config/IniConfigurationSerializer.h"

#include <sstream>

#include "base/ByteArray.h"
#include "base/LogFunctionCall.h"
#include "config/Configuration.h"
#include "config/ConfigurationCodec.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationSection.h"
#include "config/ConfigurationText.h"
#include "file/File.h"

using krel_std_internal::ConfigurationCodec;
using krel_std_internal::ConfigurationText;

namespace krel_std {

namespace {

// The characters a backslash escapes in a key.
bool isEscapable(wchar_t character) {
    return character == L'\\' || character == L'=' || character == L'#' || character == L'[';
}

} // namespace

IniConfigurationSerializer::SerializationVisitor::SerializationVisitor(
    std::wostream& stream, const std::wstring& lineSeparator)
    : stream(stream), lineSeparator(lineSeparator) {}

IniConfigurationSerializer::SerializationVisitor::SerializationVisitor(std::wostream& stream)
    : stream(stream), lineSeparator(File::lineSeparator) {}

void IniConfigurationSerializer::SerializationVisitor::visit(const ConfigurationElement& element) {
    if (element.isEmpty()) {
        stream << lineSeparator;
    } else if (element.isKeyValue()) {
        stream << escapeKey(element.getKey()) << L'=' << element.getValue() << lineSeparator;
    } else {
        stream << L'#' << element.getComment() << lineSeparator;
    }
}

void IniConfigurationSerializer::SerializationVisitor::visit(const ConfigurationSection& section) {
    if (!section.getName().empty()) {
        stream << L'[' << section.getName() << L']' << lineSeparator;
    }
}

std::wstring IniConfigurationSerializer::SerializationVisitor::escapeKey(const std::wstring& key) {
    std::wstring escaped;
    for (wchar_t character : key) {
        if (isEscapable(character)) {
            escaped += L'\\';
        }
        escaped += character;
    }
    return escaped;
}

IniConfigurationSerializer::IniConfigurationSerializer(const std::wstring& charset)
    : ConfigurationSerializer(charset) {}

IniConfigurationSerializer::~IniConfigurationSerializer() {}

boost::shared_ptr<ByteArray>
IniConfigurationSerializer::serialize(const Configuration& configuration) {
    KREL_TRACE_SCOPE(L"krel_std::IniConfigurationSerializer::serialize");
    std::wostringstream text;
    SerializationVisitor visitor(text, getLineSeparatorOr(File::lineSeparator));
    configuration.visit(visitor);
    return ConfigurationCodec::encode(text.str(), getCharset());
}

boost::shared_ptr<Configuration> IniConfigurationSerializer::deserialize(const ByteArray& bytes) {
    KREL_TRACE_SCOPE(L"krel_std::IniConfigurationSerializer::deserialize");
    const std::wstring text = ConfigurationCodec::decode(bytes, getCharset());
    boost::shared_ptr<Configuration> configuration(new Configuration());
    std::wstring currentSection = Configuration::defaultSection;
    const std::vector<std::wstring> lines = splitLines(text);
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::wstring line = ConfigurationText::trim(lines[index]);
        if (!line.empty() && line[0] == L'[') {
            readSectionHeader(line, *configuration, currentSection);
        } else if (!line.empty() || index + 1 < lines.size()) {
            configuration->appendElement(parseElement(line), currentSection);
        }
    }
    setLineSeparator(findLineSeparator(text));
    return configuration;
}

ConfigurationSerializer* IniConfigurationSerializer::newInstance() const {
    return new IniConfigurationSerializer(getCharset());
}

std::vector<std::wstring> IniConfigurationSerializer::splitLines(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (size_t index = 0; index < text.size(); ++index) {
        const wchar_t character = text[index];
        if (character == L'\r' || character == L'\n') {
            if (character == L'\r' && index + 1 < text.size() && text[index + 1] == L'\n') {
                ++index;
            }
            lines.emplace_back();
        } else {
            lines.back() += character;
        }
    }
    return lines;
}

std::wstring IniConfigurationSerializer::findLineSeparator(const std::wstring& text) {
    const size_t found = text.find_first_of(L"\r\n");
    if (found == std::wstring::npos) {
        return std::wstring();
    }
    if (text[found] == L'\n') {
        return L"\n";
    }
    return found + 1 < text.size() && text[found + 1] == L'\n' ? L"\r\n" : L"\r";
}

void IniConfigurationSerializer::readSectionHeader(const std::wstring& line,
                                                   Configuration& configuration,
                                                   std::wstring& currentSection) {
    const size_t close = line.rfind(L']');
    if (close == std::wstring::npos) {
        return;
    }
    const ConfigurationSection section(line.substr(1, close - 1));
    currentSection = section.getName();
    configuration.addSection(section);
}

ConfigurationElement IniConfigurationSerializer::parseElement(const std::wstring& line) {
    if (!line.empty() && line[0] == L'#') {
        return ConfigurationElement(line.substr(1));
    }
    std::wstring key;
    for (size_t index = 0; index < line.size(); ++index) {
        const wchar_t character = line[index];
        if (character == L'=') {
            const std::wstring trimmedKey = ConfigurationText::trim(key);
            if (trimmedKey.empty()) {
                break;
            }
            return ConfigurationElement(trimmedKey, line.substr(index + 1));
        }
        // A backslash escapes only a special character; before any other it is literal.
        if (character == L'\\' && index + 1 < line.size() && isEscapable(line[index + 1])) {
            ++index;
        }
        key += line[index];
    }
    return ConfigurationElement();
}

} // namespace krel_std
