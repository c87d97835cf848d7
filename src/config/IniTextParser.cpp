#include "config/IniTextParser.h"

#include <array>
#include <string_view>

#include "base/ByteArray.h"
#include "config/ConfigurationBuilder.h"
#include "config/ConfigurationCodec.h"
#include "config/ConfigurationText.h"
#include "config/IniTextWriter.h"
#include "platform/Windows1252.h"

namespace krel_std_internal {

namespace {

typedef std::array<wchar_t, 256> ByteTable;

ByteTable makeWindows1252Table() {
    ByteTable table;
    for (size_t byte = 0; byte < table.size(); ++byte) {
        table[byte] = krel_platform::windows1252ToWide(static_cast<unsigned char>(byte));
    }
    return table;
}

// windows-1252 bytes read in place as text, one character per byte.
class ByteText {
public:
    ByteText(const char* bytes, size_t size)
        : bytes(reinterpret_cast<const unsigned char*>(bytes)), length(size), table(sharedTable()) {
    }

    size_t size() const { return length; }
    wchar_t operator[](size_t index) const { return table[bytes[index]]; }

private:
    static const ByteTable& sharedTable() {
        static const ByteTable table = makeWindows1252Table();
        return table;
    }

    const unsigned char* bytes;
    size_t length;
    const ByteTable& table;
};

// Decoded text.
class WideText {
public:
    explicit WideText(const std::wstring& text) : text(text) {}

    size_t size() const { return text.size(); }
    wchar_t operator[](size_t index) const { return text[index]; }

private:
    const std::wstring& text;
};

// One pass over the text: each line is found, trimmed and handed to the builder as a section
// header, a key/value line, a comment or an empty line.
template <typename Text> class LineReader {
public:
    LineReader(const Text& text, ConfigurationBuilder& builder) : text(text), builder(builder) {}

    // Reads every line and answers the first line separator.
    std::wstring readAll() {
        std::wstring separator;
        size_t begin = 0;
        for (;;) {
            size_t end = begin;
            while (end < text.size() && text[end] != L'\r' && text[end] != L'\n') {
                ++end;
            }
            if (end == text.size()) {
                readLine(begin, end, true);
                return separator;
            }
            readLine(begin, end, false);
            const bool crLf = text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n';
            if (separator.empty()) {
                separator = crLf ? L"\r\n" : (text[end] == L'\r' ? L"\r" : L"\n");
            }
            begin = end + (crLf ? 2 : 1);
        }
    }

private:
    void readLine(size_t begin, size_t end, bool last) {
        while (begin < end && ConfigurationText::isWhiteSpace(text[begin])) {
            ++begin;
        }
        while (end > begin && ConfigurationText::isWhiteSpace(text[end - 1])) {
            --end;
        }
        if (begin == end) {
            // A text that ends with a separator has no further line.
            if (!last) {
                builder.appendEmptyLine();
            }
        } else if (text[begin] == L'[') {
            readSectionHeader(begin, end);
        } else if (text[begin] == L'#') {
            builder.appendComment(copy(begin + 1, end));
        } else {
            readKeyValue(begin, end);
        }
    }

    // The name runs to the last "]" of the line; a line without one is dropped.
    void readSectionHeader(size_t begin, size_t end) {
        size_t close = end;
        while (close > begin + 1 && text[close - 1] != L']') {
            --close;
        }
        if (close == begin + 1) {
            return;
        }
        builder.openSection(ConfigurationText::trimmed(copy(begin + 1, close - 1)));
    }

    // The key runs to the first "=" not escaped; a backslash escapes only a character that
    // IniTextWriter escapes, before any other it is a literal character of the key. A line
    // without "=", or with a blank key, is an empty line.
    void readKeyValue(size_t begin, size_t end) {
        wchar_t* const keyAndValue = room(end - begin);
        size_t length = 0;
        for (size_t index = begin; index < end; ++index) {
            if (text[index] == L'=') {
                // The line begins with a character that is not white space, and so does the key.
                while (length > 0 && ConfigurationText::isWhiteSpace(keyAndValue[length - 1])) {
                    --length;
                }
                if (length == 0) {
                    break;
                }
                const size_t keyLength = length;
                length += copyTo(keyAndValue + length, index + 1, end);
                builder.appendKeyValue(std::wstring_view(keyAndValue, length), keyLength);
                return;
            }
            if (text[index] == L'\\' && index + 1 < end &&
                IniTextWriter::isEscapable(text[index + 1])) {
                ++index;
            }
            keyAndValue[length++] = text[index];
        }
        builder.appendEmptyLine();
    }

    // The text from begin to end, valid until the next line is read.
    std::wstring_view copy(size_t begin, size_t end) {
        wchar_t* const part = room(end - begin);
        return std::wstring_view(part, copyTo(part, begin, end));
    }

    // Room for `count` characters in the line buffer, which only grows: no line pays for
    // clearing or growing it again.
    wchar_t* room(size_t count) {
        if (line.size() < count) {
            line.resize(count);
        }
        return line.data();
    }

    // Copies the text from begin to end to `target`; the number of characters copied.
    size_t copyTo(wchar_t* target, size_t begin, size_t end) const {
        for (size_t index = begin; index < end; ++index) {
            *target++ = text[index];
        }
        return end - begin;
    }

    const Text& text;
    ConfigurationBuilder& builder;
    // The text of the line being read, one buffer for all lines: the builder keeps the text in
    // a form of its own, so no line needs a string of its own on the way.
    std::wstring line;
};

template <typename Text>
std::wstring readText(const Text& text, krel_std::Configuration& configuration) {
    ConfigurationBuilder builder(configuration);
    const std::wstring separator = LineReader<Text>(text, builder).readAll();
    builder.finish();
    return separator;
}

} // namespace

IniTextParser::Layout IniTextParser::read(const krel_std::ByteArray& bytes,
                                          const std::wstring& charset,
                                          krel_std::Configuration& configuration) {
    const std::string_view all(bytes.getArray().get(), static_cast<size_t>(bytes.getLength()));
    Layout layout;
    layout.byteOrderMark = ConfigurationCodec::beginsWithByteOrderMark(all);
    if (charset == L"windows-1252") {
        const std::string_view text =
            all.substr(layout.byteOrderMark ? ConfigurationCodec::UTF8_BYTE_ORDER_MARK.size() : 0);
        ConfigurationCodec::refuseNul(text, charset);
        layout.lineSeparator = readText(ByteText(text.data(), text.size()), configuration);
        return layout;
    }
    const std::wstring decoded = ConfigurationCodec::decode(bytes, charset);
    layout.lineSeparator = readText(WideText(decoded), configuration);
    return layout;
}

} // namespace krel_std_internal
