#include "config/ConfigurationText.h"

#include <cstdint>
#include <cwchar>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "config/ConfigurationCodec.h"
#include "exception/KrelIllegalArgumentException.h"

namespace krel_std_internal {

std::wstring ConfigurationText::trim(const std::wstring& text) {
    return std::wstring(trimmed(text));
}

std::wstring ConfigurationText::trimRight(const std::wstring& text) {
    return std::wstring(trimmedRight(text));
}

std::wstring_view ConfigurationText::trimmed(std::wstring_view text) {
    size_t begin = 0;
    while (begin < text.size() && isWhiteSpace(text[begin])) {
        ++begin;
    }
    return trimmedRight(text.substr(begin));
}

std::wstring_view ConfigurationText::trimmedRight(std::wstring_view text) {
    size_t end = text.size();
    while (end > 0 && isWhiteSpace(text[end - 1])) {
        --end;
    }
    return text.substr(0, end);
}

void ConfigurationText::checkSingleLine(const std::wstring& text, const wchar_t* context,
                                        const wchar_t* name) {
    if (text.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos) {
        return;
    }
    const std::wstring message =
        std::wstring(name) + L" value contains a line break or NUL character.";
    KREL_INTERNAL_DEBUG(context, L"%ls", message.c_str());
    throw krel_std::KrelIllegalArgumentException(message);
}

void ConfigurationText::checkCharset(const std::wstring& text, const std::wstring& charset,
                                     const wchar_t* context, const std::wstring& subject) {
    const size_t found = ConfigurationCodec::findUnencodable(text, charset);
    if (found == std::wstring::npos) {
        return;
    }
    wchar_t codePoint[16];
    std::swprintf(codePoint, sizeof codePoint / sizeof codePoint[0], L"U+%04X",
                  static_cast<unsigned int>(static_cast<uint32_t>(text[found])));
    const std::wstring message = subject + L" contains character " + codePoint +
                                 L", which charset " + charset + L" cannot hold.";
    KREL_INTERNAL_DEBUG(context, L"%ls", message.c_str());
    throw krel_std::KrelIllegalArgumentException(message);
}

} // namespace krel_std_internal
