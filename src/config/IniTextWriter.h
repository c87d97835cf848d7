// The INI lines of sections and elements, written to any text sink.
#pragma once

#include <string>
#include <string_view>

#include "config/ConfigurationElement.h"

namespace krel_std_internal {

// Writes INI lines to a sink: any object with append(wchar_t), append(std::wstring_view) and
// append(std::string_view), the last for text in the one-byte form of CompactText. Each line
// ends with the separator given.
class IniTextWriter {
public:
    // The characters a backslash escapes in a key.
    static bool isEscapable(wchar_t character) {
        return character == L'\\' || character == L'=' || character == L'#' || character == L'[';
    }

    // "[name]"; the unnamed section writes nothing.
    template <typename Sink>
    static void writeSection(Sink& sink, std::wstring_view name, std::wstring_view separator) {
        if (!name.empty()) {
            sink.append(L'[');
            sink.append(name);
            sink.append(L']');
            sink.append(separator);
        }
    }

    // An empty line, "key=value" with the key escaped, or "#comment".
    template <typename Sink>
    static void writeElement(Sink& sink, const krel_std::ConfigurationElement& element,
                             std::wstring_view separator) {
        if (element.isEmpty()) {
            sink.append(separator);
        } else if (element.isKeyValue()) {
            element.visitKey([&sink](auto key) { writeEscapedKey(sink, key); });
            sink.append(L'=');
            element.visitValue([&sink](auto value) { sink.append(value); });
            sink.append(separator);
        } else {
            sink.append(L'#');
            element.visitComment([&sink](auto comment) { sink.append(comment); });
            sink.append(separator);
        }
    }

    // The key (a std::wstring_view, or a std::string_view of the one-byte form) with a
    // backslash before each "\", "=", "#" and "[".
    template <typename Sink, typename View> static void writeEscapedKey(Sink& sink, View key) {
        size_t plain = 0;
        for (size_t index = 0; index < key.size(); ++index) {
            if (isEscapable(key[index])) {
                sink.append(key.substr(plain, index - plain));
                sink.append(L'\\');
                plain = index;
            }
        }
        sink.append(key.substr(plain));
    }

private:
    IniTextWriter() = delete;
};

} // namespace krel_std_internal
