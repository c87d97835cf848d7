#include "base/KrelStdFields.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <wctype.h>

#include "base/KrelStdUtils.h"
#include "platform/UnicodeLocale.h"

namespace KrelStd {

namespace {

// Copies at most size - 1 bytes of text and terminates them; nothing for a size of 0 or
// less. Answers the number of bytes copied (characters, in the single-byte ANSI code page).
int copyTerminated(char* target, int size, const char* text) {
    if (target == nullptr || size <= 0) {
        return 0;
    }
    const std::size_t count = std::min(std::strlen(text), static_cast<std::size_t>(size) - 1);
    std::memcpy(target, text, count);
    target[count] = '\0';
    return static_cast<int>(count);
}

// A narrow character widened through the ANSI code page, as "%S" formats a one-character text.
wchar_t widenDelimiter(int delimiter) {
    const char text[2] = {static_cast<char>(delimiter), '\0'};
    const SWString wide = sprintfString(L"%S", text);
    return wide.empty() ? L'\0' : wide[0];
}

bool isDigit(wchar_t character) {
    return iswdigit_l(static_cast<wint_t>(character), krel_platform::unicodeLocale()) != 0;
}

// The run of digits as a number, clamped to the int range (long is wider here).
int numberOf(const std::wstring& digits) {
    const long value = std::wcstol(digits.c_str(), nullptr, 10);
    return static_cast<int>(std::min<long>(std::max<long>(value, INT_MIN), INT_MAX));
}

} // namespace

int NbrDelimFields(const SWString& text, wchar_t delimiter) {
    return static_cast<int>(std::count(text.begin(), text.end(), delimiter)) + 1;
}

int GetDelimField(SWString& field, const SWString& text, int number, wchar_t delimiter) {
    field.clear();
    if (text.empty()) {
        return 0;
    }
    std::wstring::size_type start = 0;
    for (int passed = 1; passed < number; ++passed) {
        const std::wstring::size_type found = text.find(delimiter, start);
        if (found == std::wstring::npos) {
            return 0;
        }
        start = found + 1;
    }
    const std::wstring::size_type end = text.find(delimiter, start);
    field.std::wstring::assign(text, start, end == std::wstring::npos ? end : end - start);
    return static_cast<int>(field.length());
}

int GetDelimField(char* field, int size, const char* text, int number, int delimiter) {
    SWString wide;
    GetDelimField(wide, SWString(text, CT_ANSI, 0), number, widenDelimiter(delimiter));
    return copyTerminated(field, size, wide.mb_str(0));
}

int GetPosField(SWString& field, const SWString& text, unsigned int position, unsigned int length) {
    if (position < 1 || position > text.length() || length < 1) {
        field.clear();
        return 0;
    }
    field.std::wstring::assign(text, position - 1, length);
    return 1;
}

int GetPosField(char* field, const char* text, int position, int length) {
    SWString wide;
    const int found = position < 0 || length < 0 ? 0
                                                 : GetPosField(wide, SWString(text, CT_ANSI, 0),
                                                               static_cast<unsigned int>(position),
                                                               static_cast<unsigned int>(length));
    if (length > 0) {
        copyTerminated(field, length < INT_MAX ? length + 1 : INT_MAX, wide.mb_str(0));
    }
    return found;
}

int RangeStrToIntArr(const SWString& text, int* flags, int maximum) {
    if (flags == nullptr) {
        return 0;
    }
    if (maximum >= 0) {
        std::fill(flags, flags + static_cast<std::size_t>(maximum) + 1, 0);
    }
    int markings = 0;
    auto mark = [&](int64_t index) {
        if (index >= 0 && index <= maximum) {
            flags[index] = 1;
            ++markings;
        }
    };
    bool inRange = false;
    int previous = 0;
    std::wstring::size_type start = std::wstring::npos;
    // The terminating zero counts as one more character, so a number at the end is ended too.
    for (std::wstring::size_type i = 0; i <= text.length(); ++i) {
        const wchar_t character = i < text.length() ? text[i] : L'\0';
        if (start == std::wstring::npos) {
            if (isDigit(character)) {
                start = i;
            } else if (character == L'-') {
                inRange = true;
            }
            continue;
        }
        if (isDigit(character)) {
            continue;
        }
        const int number = numberOf(text.substr(start, i - start));
        mark(number);
        if (inRange) {
            for (int64_t index = previous; index <= number && index <= maximum; ++index) {
                mark(index);
            }
        }
        previous = number;
        inRange = character == L'-';
        start = std::wstring::npos;
    }
    return markings;
}

} // namespace KrelStd
