#include "config/CompactText.h"

#include <algorithm>
#include <stdexcept>

namespace krel_std_internal {

namespace {

wchar_t characterOf(char byte) {
    return CompactText::byteValue(byte);
}

wchar_t characterOf(wchar_t character) {
    return character;
}

} // namespace

size_t CompactText::size() const {
    return visit(0, std::wstring::npos, [](auto view) { return view.size(); });
}

bool CompactText::fitsBytes(std::wstring_view text) {
    // The characters' bits together, without a branch for each.
    uint32_t bits = 0;
    for (wchar_t character : text) {
        bits |= static_cast<uint32_t>(character);
    }
    return bits <= 0xFF;
}

bool CompactText::copyBytes(std::wstring_view from, char* to) {
    uint32_t bits = 0;
    for (size_t index = 0; index < from.size(); ++index) {
        bits |= static_cast<uint32_t>(from[index]);
        to[index] = static_cast<char>(static_cast<uint8_t>(from[index]));
    }
    return bits <= 0xFF;
}

std::wstring CompactText::widened(std::string_view bytes) {
    std::wstring wide(bytes.size(), L'\0');
    std::transform(bytes.begin(), bytes.end(), wide.begin(), byteValue);
    return wide;
}

void CompactText::assign(std::wstring_view replacement) {
    // One pass makes the bytes and checks that every character fits, the usual case.
    std::string bytes(replacement.size(), '\0');
    if (copyBytes(replacement, bytes.data())) {
        text = std::move(bytes);
    } else {
        text = std::wstring(replacement);
    }
}

void CompactText::replace(size_t offset, size_t length, std::wstring_view replacement) {
    if (offset > size()) {
        throw std::out_of_range("CompactText::replace: offset past the end");
    }
    if (std::string* bytes = std::get_if<std::string>(&text)) {
        if (fitsBytes(replacement)) {
            const size_t removed = std::min(length, bytes->size() - offset);
            bytes->replace(offset, removed, replacement.size(), '\0');
            copyBytes(replacement, bytes->data() + offset);
            return;
        }
        text = widened(*bytes);
    }
    std::wstring& wide = std::get<std::wstring>(text);
    wide.replace(offset, length, replacement);
    // The replacement may have taken out the last character that needed four bytes.
    if (fitsBytes(wide)) {
        assign(wide);
    }
}

void CompactText::clear() {
    if (std::string* bytes = std::get_if<std::string>(&text)) {
        bytes->clear();
    } else {
        text.emplace<std::string>();
    }
}

std::wstring CompactText::part(size_t offset, size_t length) const {
    return visit(offset, length, [](auto view) {
        std::wstring copy(view.size(), L'\0');
        std::transform(view.begin(), view.end(), copy.begin(),
                       [](auto character) { return characterOf(character); });
        return copy;
    });
}

bool CompactText::partEquals(size_t offset, size_t length, std::wstring_view other) const {
    return visit(offset, length, [other](auto view) {
        return view.size() == other.size() &&
               std::equal(view.begin(), view.end(), other.begin(),
                          [](auto mine, wchar_t theirs) { return characterOf(mine) == theirs; });
    });
}

} // namespace krel_std_internal
