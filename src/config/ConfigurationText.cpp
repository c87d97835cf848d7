#include "config/ConfigurationText.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"

namespace krel_std_internal {

namespace {

const wchar_t kWhiteSpace[] = L" \t\n\v\f\r";

} // namespace

std::wstring ConfigurationText::trim(const std::wstring& text) {
    const size_t begin = text.find_first_not_of(kWhiteSpace);
    if (begin == std::wstring::npos) {
        return std::wstring();
    }
    return text.substr(begin, text.find_last_not_of(kWhiteSpace) - begin + 1);
}

std::wstring ConfigurationText::trimRight(const std::wstring& text) {
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return last == std::wstring::npos ? std::wstring() : text.substr(0, last + 1);
}

void ConfigurationText::checkSingleLine(const std::wstring& text, const wchar_t* context,
                                        const wchar_t* name) {
    if (text.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos) {
        return;
    }
    const std::wstring message =
        std::wstring(name) + L" value contains a line break or NUL character.";
    if (krel_std::__internal_debug_on()) {
        krel_std::__internal_debug(context, KREL_SOURCE_FILE, __LINE__, L"%ls", message.c_str());
    }
    throw krel_std::KrelIllegalArgumentException(message);
}

} // namespace krel_std_internal
