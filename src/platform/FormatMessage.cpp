// FormatMessageW and LocalFree of the stand-in: system texts come from the stand-in's own
// message table (English only); allocated buffers come from malloc and go back through
// LocalFree.
#include <cstdlib>
#include <cwchar>

#include "platform/SystemMessages.h"
#include "platform/WinBase.h"

namespace {

const DWORD LANGUAGE_ENGLISH = 0x09;

// The table holds English texts: neutral languages (the user's or the system's default) and
// every English variant find them.
bool isKnownLanguage(DWORD languageId) {
    const DWORD primaryLanguage = languageId & 0x3FF;
    return primaryLanguage == LANG_NEUTRAL || primaryLanguage == LANGUAGE_ENGLISH;
}

DWORD fail(DWORD errorCode) {
    SetLastError(errorCode);
    return 0;
}

// Inserts are not expanded: a text that holds one is refused unless inserts are ignored.
bool needsInserts(DWORD flags, const wchar_t* text) {
    return (flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && std::wcschr(text, L'%') != nullptr;
}

DWORD copyAllocated(const wchar_t* text, size_t length, LPWSTR buffer, DWORD size) {
    auto* target = reinterpret_cast<LPWSTR*>(buffer);
    if (target == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const size_t room = length + 1 > size ? length + 1 : size;
    auto* memory = static_cast<wchar_t*>(std::malloc(room * sizeof(wchar_t)));
    if (memory == nullptr) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    std::wmemcpy(memory, text, length + 1);
    *target = memory;
    return static_cast<DWORD>(length);
}

DWORD copyToCaller(const wchar_t* text, size_t length, LPWSTR buffer, DWORD size) {
    if (buffer == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (length + 1 > size) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::wmemcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

} // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* /*arguments*/) {
    const wchar_t* text = nullptr;
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        text = static_cast<const wchar_t*>(source);
    } else if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
        if (!isKnownLanguage(languageId)) {
            return fail(ERROR_RESOURCE_LANG_NOT_FOUND);
        }
        text = krel_platform::findSystemMessage(messageId);
        if (text == nullptr) {
            return fail(ERROR_MR_MID_NOT_FOUND);
        }
    }
    if (text == nullptr || needsInserts(flags, text)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const size_t length = std::wcslen(text);
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        return copyAllocated(text, length, buffer, size);
    }
    return copyToCaller(text, length, buffer, size);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
