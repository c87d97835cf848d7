#include "system/KrelRegistry.h"

#include <cstring>
#include <locale>
#include <sstream>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "exception/KrelUnknownException.h"
#include "log/KrelLoggerSTD.h"
#include "platform/CancellationOff.h"
#include "platform/Utf16.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// Registry names are at most 255 characters a level, so a real path is quoted whole in a message;
// only a hostile one of thousands of characters is cut.
const std::size_t QUOTED_PATH_LIMIT = 2048;

std::wstring quotedPath(const std::wstring& text) {
    return StringUtils::quotedPrefix(text, QUOTED_PATH_LIMIT);
}

typedef AutoLock<Lock> Guard;

// A text read uses 260 UTF-16 units and announces two bytes less, so the text always ends in a
// NUL that the system never overwrites.
const size_t TEXT_UNITS = 260;
const DWORD TEXT_ANNOUNCED_BYTES = 518;
// The name buffer of the listings, in characters.
const DWORD NAME_CHARACTERS = 260;
// The data buffer of getKeysWithValue, in bytes.
const DWORD PRESENCE_BYTES = 258;
// A REG_SZ holds something from one character and its terminator on.
const DWORD SMALLEST_TEXT = 3;

const wchar_t* const OPEN_KEY = L"krel_std::KrelRegistry::openKey";
const wchar_t* const CREATE_KEY = L"krel_std::KrelRegistry::createKey";
const wchar_t* const CLOSE_KEY = L"krel_std::KrelRegistry::closeKey";
const wchar_t* const GET_STR_VALUE = L"krel_std::KrelRegistry::getStrValue";
const wchar_t* const GET_INT_VALUE = L"krel_std::KrelRegistry::getIntValue";
const wchar_t* const SET_STR_VALUE = L"krel_std::KrelRegistry::setStrValue";
const wchar_t* const SET_INT_VALUE = L"krel_std::KrelRegistry::setIntValue";
const wchar_t* const DELETE_VALUE = L"krel_std::KrelRegistry::deleteValue";
const wchar_t* const DELETE_KEY = L"krel_std::KrelRegistry::deleteKey";
const wchar_t* const GET_KEYS = L"krel_std::KrelRegistry::getKeys";
const wchar_t* const GET_KEYS_WITH_VALUE = L"krel_std::KrelRegistry::getKeysWithValue";
const wchar_t* const GET_KEY_VALUES = L"krel_std::KrelRegistry::getKeyValues";

const wchar_t* const VALUE_NAME = L"Registry key";
const wchar_t* const PATH_NAME = L"Registry path";
const wchar_t* const VALUE_TEXT = L"Registry value";

// Refuses a text that the registry would store as another: one holding NUL, which ends the
// text the system sees, or a character that UTF-16 cannot carry unchanged.
void checkStorableText(const wchar_t* function, const wchar_t* argumentName,
                       const std::wstring& text) {
    const wchar_t* fault = nullptr;
    if (text.find(L'\0') != std::wstring::npos) {
        fault = L" holds a NUL character, which would end it early.";
    } else if (!krel_platform::isFaithfulInUtf16(text.data(), text.size())) {
        fault = L" holds a character that UTF-16 cannot carry unchanged.";
    }
    if (fault != nullptr) {
        KrelIllegalArgumentException exception(argumentName + std::wstring(fault));
        exception.logDebug(function);
        throw exception;
    }
}

// Handles and roots in trace lines are their low 32 bits as a signed number.
int asNumber(HKEY key) {
    return static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
}

int asNumber(DWORD value) {
    return static_cast<int>(value);
}

std::wstring textOf(const char16_t* buffer) {
    return krel_platform::utf16ToWide(std::u16string(buffer));
}

// The leading signed decimal number of a text, read as a wide input stream reads an int.
bool readLeadingNumber(const std::wstring& text, int& number) {
    std::wistringstream stream(text);
    stream.imbue(std::locale::classic());
    return static_cast<bool>(stream >> number);
}

// How a Windows error code is reported: the kind text of the message and the exception.
enum class ErrorKind { NotFound, AccessDenied, InvalidArgument, MoreData, IllegalState, Unknown };

ErrorKind kindOf(long errorCode) {
    switch (errorCode) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED:
    case 12: // the access code is invalid
    case 19: // the medium is write protected
        return ErrorKind::AccessDenied;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_PARAMETER:
    case 160: // bad arguments
    case ERROR_BAD_PATHNAME:
        return ErrorKind::InvalidArgument;
    case ERROR_MORE_DATA:
        return ErrorKind::MoreData;
    case ERROR_KEY_DELETED:
        return ErrorKind::IllegalState;
    default:
        return ErrorKind::Unknown;
    }
}

const wchar_t* kindText(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::NotFound:
        return L"Object not found";
    case ErrorKind::AccessDenied:
        return L"Access denied";
    case ErrorKind::InvalidArgument:
        return L"Invalid argument";
    case ErrorKind::MoreData:
        return L"More data is available than can fit in buffer";
    case ErrorKind::IllegalState:
        return L"Illegal state";
    case ErrorKind::Unknown:
        break;
    }
    return L"Unknown error";
}

[[noreturn]] void throwKind(ErrorKind kind, const std::wstring& message) {
    switch (kind) {
    case ErrorKind::NotFound:
        throw KrelObjectNotFoundException(message);
    case ErrorKind::AccessDenied:
        throw KrelAccessException(message);
    case ErrorKind::InvalidArgument:
        throw KrelIllegalArgumentException(message);
    case ErrorKind::MoreData:
        throw KrelException(message);
    case ErrorKind::IllegalState:
        throw KrelIllegalStateException(message);
    case ErrorKind::Unknown:
        break;
    }
    throw KrelUnknownException(message);
}

// The subject of a failed write, built only when a write fails.
std::wstring writeWhat(const std::wstring& name, const std::wstring& value,
                       const std::wstring& path) {
    return L"Set registry key <" + quotedPath(name) + L"> to value <" + quotedPath(value) +
           L"> under path <" + quotedPath(path) + L">.";
}

// The opening trace of a listing: the path it lists.
void traceListedPath(const wchar_t* function, const std::wstring& path) {
    KREL_INTERNAL_TRACE(function, L"Checking path <%ls>.", path.c_str());
}

// Whether one step of a listing gave an entry. The end of the list gives none; a truncated
// entry is traced and kept; any other failure throws.
bool gaveEntry(const wchar_t* function, LSTATUS code, const wchar_t* truncated,
               const std::wstring& what) {
    if (code == ERROR_NO_MORE_ITEMS) {
        return false;
    }
    if (code == ERROR_MORE_DATA) {
        KREL_INTERNAL_TRACE(function, truncated);
    } else {
        KrelRegistry::convertWinErrToException(function, code, what);
    }
    return true;
}

// The closing trace of a listing: how many entries it gave.
void traceListedCount(const wchar_t* function, size_t count) {
    KREL_INTERNAL_CALL(function, L"%d keys.", static_cast<int>(count));
}

} // namespace

KrelRegistry::KrelRegistry() : registryHandle(nullptr) {}

KrelRegistry::KrelRegistry(const KrelRegistry& other)
    : Object(other), registryHandle(nullptr), path(other.getPath()) {}

KrelRegistry& KrelRegistry::operator=(const KrelRegistry& other) {
    if (this == &other) {
        return *this;
    }
    // The other's path is read under its own lock, released before this one is taken: two
    // wrappers never hold each other's locks.
    const std::wstring otherPath = other.getPath();
    Guard guard(lock);
    closeKey();
    path = otherPath;
    return *this;
}

KrelRegistry::~KrelRegistry() {
    // Nothing leaves a destructor: closing is best effort, and no cancellation may unwind
    // through it.
    krel_platform::CancellationOff cancellationOff;
    try {
        closeKey();
    } catch (...) {
        // The handle is already null; a key that failed to close is left to the process.
    }
}

std::wstring KrelRegistry::toString() const {
    Guard guard(lock);
    return L"KrelRegistry{registryHandle=" + StringUtils::toWString(registryHandle) + L",path='" +
           path + L"'}";
}

void KrelRegistry::openKey(HKEY root, const std::wstring& keyPath, REGSAM access) {
    KREL_TRACE_SCOPE_ARGS(OPEN_KEY, L"Begin Root <%d> Key <%ls> Access mask <%d>.", asNumber(root),
                          keyPath.c_str(), asNumber(access));
    checkHKeyArg(OPEN_KEY, root);
    checkStorableText(OPEN_KEY, PATH_NAME, keyPath);
    Guard guard(lock);
    closeKey();
    HKEY opened = nullptr;
    const LSTATUS code = RegOpenKeyExW(root, keyPath.c_str(), 0, access, &opened);
    KREL_INTERNAL_TRACE(OPEN_KEY, L"RegOpenKeyExW return <%d> Created key <%d>.", code,
                        asNumber(opened));
    convertWinErrToException(OPEN_KEY, code, L"Open registry key <" + quotedPath(keyPath) + L">");
    registryHandle = opened;
    path = keyPath;
}

void KrelRegistry::createKey(bool& alreadyExists, HKEY root, const std::wstring& keyPath,
                             DWORD access, DWORD options) {
    KREL_TRACE_SCOPE_ARGS(CREATE_KEY, L"Begin Root <%d> Key <%ls> Access mask <%d> Options <%d>.",
                          asNumber(root), keyPath.c_str(), asNumber(access), asNumber(options));
    checkHKeyArg(CREATE_KEY, root);
    checkStorableText(CREATE_KEY, PATH_NAME, keyPath);
    Guard guard(lock);
    closeKey();
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LSTATUS code = RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, options, access,
                                         nullptr, &created, &disposition);
    alreadyExists = disposition == REG_OPENED_EXISTING_KEY;
    KREL_INTERNAL_TRACE(CREATE_KEY,
                        L"RegCreateKeyExW return <%d> Created key <%d> Already exist <%d>.", code,
                        asNumber(created), alreadyExists ? 1 : 0);
    convertWinErrToException(CREATE_KEY, code,
                             L"Create registry key <" + quotedPath(keyPath) + L">");
    registryHandle = created;
    path = keyPath;
}

void KrelRegistry::closeKey() {
    KREL_TRACE_SCOPE(CLOSE_KEY);
    Guard guard(lock);
    if (registryHandle == nullptr) {
        return;
    }
    const HKEY closing = registryHandle;
    registryHandle = nullptr;
    const LSTATUS code = RegCloseKey(closing);
    KREL_INTERNAL_TRACE(CLOSE_KEY, L"RegCloseKey return <%d>.", code);
    convertWinErrToException(CLOSE_KEY, code, L"Close registry key handle.");
}

bool KrelRegistry::isHandleOpen() const {
    Guard guard(lock);
    return registryHandle != nullptr;
}

std::wstring KrelRegistry::getPath() const {
    Guard guard(lock);
    return path;
}

std::wstring KrelRegistry::readWhat(const std::wstring& name) const {
    return L"Get registry key <" + quotedPath(name) + L"> under path <" + quotedPath(path) + L">.";
}

DWORD KrelRegistry::queryValue(const wchar_t* function, const std::wstring& name, char16_t* buffer,
                               DWORD& size) {
    DWORD type = REG_NONE;
    size = TEXT_ANNOUNCED_BYTES;
    const LSTATUS code = RegQueryValueExW(registryHandle, name.c_str(), nullptr, &type,
                                          reinterpret_cast<LPBYTE>(buffer), &size);
    KREL_INTERNAL_TRACE(function, L"RegQueryValueExW return <%d> Type <%d> Size <%d>.", code,
                        asNumber(type), asNumber(size));
    if (code != ERROR_SUCCESS) {
        convertWinErrToException(function, code, readWhat(name));
    }
    return type;
}

int KrelRegistry::queryNumber(const wchar_t* function, const std::wstring& name) {
    int32_t number = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof number;
    const LSTATUS code = RegQueryValueExW(registryHandle, name.c_str(), nullptr, &type,
                                          reinterpret_cast<LPBYTE>(&number), &size);
    KREL_INTERNAL_TRACE(
        function, L"Is a number. RegQueryValueExW return <%d> Number <%d> Type <%d> Size <%d>.",
        code, number, asNumber(type), asNumber(size));
    if (code != ERROR_SUCCESS) {
        convertWinErrToException(function, code, readWhat(name));
    }
    return number;
}

void KrelRegistry::throwWrongType(const wchar_t* function, const std::wstring& name) const {
    Singleton<KrelLoggerSTD>::getInstance().STD3001(function, name);
    throw KrelObjectNotFoundException(L"Registry key <" + quotedPath(name) +
                                      L"> is not of REG_SZ or REG_DWORD type.");
}

std::wstring KrelRegistry::getStrValue(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(GET_STR_VALUE, L"Begin. Key <%ls>.", name.c_str());
    ErrorUtils::isEmptyEx(name, GET_STR_VALUE, VALUE_NAME);
    checkStorableText(GET_STR_VALUE, VALUE_NAME, name);
    Guard guard(lock);
    assertHandleIsOpen(GET_STR_VALUE);
    char16_t buffer[TEXT_UNITS] = {};
    DWORD size = 0;
    const DWORD type = queryValue(GET_STR_VALUE, name, buffer, size);
    if (type == REG_SZ) {
        const std::wstring text = textOf(buffer);
        KREL_INTERNAL_TRACE(GET_STR_VALUE, L"Buffer <%ls>.", text.c_str());
        return text;
    }
    if (type == REG_DWORD) {
        return std::to_wstring(queryNumber(GET_STR_VALUE, name));
    }
    throwWrongType(GET_STR_VALUE, name);
}

int KrelRegistry::getIntValue(const std::wstring& name, int defaultValue) {
    KREL_TRACE_SCOPE_ARGS(GET_INT_VALUE, L"Begin. Key <%ls>.", name.c_str());
    ErrorUtils::isEmptyEx(name, GET_INT_VALUE, VALUE_NAME);
    checkStorableText(GET_INT_VALUE, VALUE_NAME, name);
    Guard guard(lock);
    assertHandleIsOpen(GET_INT_VALUE);
    char16_t buffer[TEXT_UNITS] = {};
    DWORD size = 0;
    const DWORD type = queryValue(GET_INT_VALUE, name, buffer, size);
    if (type == REG_DWORD) {
        return queryNumber(GET_INT_VALUE, name);
    }
    if (type != REG_SZ) {
        throwWrongType(GET_INT_VALUE, name);
    }
    const std::wstring text = textOf(buffer);
    KREL_INTERNAL_TRACE(
        GET_INT_VALUE,
        L"Is a string. RegQueryValueExW return <%d> String <%ls> Type <%d> Size <%d>.",
        ERROR_SUCCESS, text.c_str(), asNumber(type), asNumber(size));
    int number = 0;
    return readLeadingNumber(text, number) ? number : defaultValue;
}

LSTATUS KrelRegistry::setValue(const wchar_t* function, const std::wstring& name, DWORD type,
                               const void* data, DWORD size) {
    const LSTATUS code =
        RegSetValueExW(registryHandle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    KREL_INTERNAL_TRACE(function, L"RegSetValueExW return <%d>.", code);
    return code;
}

void KrelRegistry::setStrValue(const std::wstring& name, const std::wstring& value) {
    KREL_TRACE_SCOPE_ARGS(SET_STR_VALUE, L"Begin. Key <%ls> Value <%ls>.", name.c_str(),
                          value.c_str());
    ErrorUtils::isEmptyEx(name, SET_STR_VALUE, VALUE_NAME);
    checkStorableText(SET_STR_VALUE, VALUE_NAME, name);
    checkStorableText(SET_STR_VALUE, VALUE_TEXT, value);
    Guard guard(lock);
    assertHandleIsOpen(SET_STR_VALUE);
    // Stored with its terminator; nothing bounds the length, though a read gives back at most
    // 258 units.
    const std::u16string data = krel_platform::wideToUtf16(value);
    const LSTATUS code = setValue(SET_STR_VALUE, name, REG_SZ, data.c_str(),
                                  static_cast<DWORD>((data.size() + 1) * 2));
    if (code != ERROR_SUCCESS) {
        convertWinErrToException(SET_STR_VALUE, code, writeWhat(name, value, path));
    }
}

void KrelRegistry::setIntValue(const std::wstring& name, int value) {
    KREL_TRACE_SCOPE_ARGS(SET_INT_VALUE, L"Begin. Key <%ls> Value <%d>.", name.c_str(), value);
    ErrorUtils::isEmptyEx(name, SET_INT_VALUE, VALUE_NAME);
    checkStorableText(SET_INT_VALUE, VALUE_NAME, name);
    Guard guard(lock);
    assertHandleIsOpen(SET_INT_VALUE);
    const int32_t data = value;
    const LSTATUS code = setValue(SET_INT_VALUE, name, REG_DWORD, &data, sizeof data);
    if (code != ERROR_SUCCESS) {
        convertWinErrToException(SET_INT_VALUE, code,
                                 writeWhat(name, std::to_wstring(value), path));
    }
}

void KrelRegistry::deleteValue(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(DELETE_VALUE, L"Begin. Key <%ls>.", name.c_str());
    ErrorUtils::isEmptyEx(name, DELETE_VALUE, VALUE_NAME);
    checkStorableText(DELETE_VALUE, VALUE_NAME, name);
    Guard guard(lock);
    assertHandleIsOpen(DELETE_VALUE);
    const LSTATUS code = RegDeleteValueW(registryHandle, name.c_str());
    KREL_INTERNAL_TRACE(DELETE_VALUE, L"RegDeleteValueW return <%d>.", code);
    convertWinErrToException(DELETE_VALUE, code,
                             L"Delete registry key <" + quotedPath(name) + L"> value under path <" +
                                 quotedPath(path) + L">.");
}

void KrelRegistry::deleteKey(HKEY root, const std::wstring& keyPath) {
    KREL_TRACE_SCOPE_ARGS(DELETE_KEY, L"Begin. Root <%d> Key <%ls>.", asNumber(root),
                          keyPath.c_str());
    checkHKeyArg(DELETE_KEY, root);
    ErrorUtils::isEmptyEx(keyPath, DELETE_KEY, VALUE_NAME);
    checkStorableText(DELETE_KEY, PATH_NAME, keyPath);
    Guard guard(lock);
    const LSTATUS code = SHDeleteKeyW(root, keyPath.c_str());
    KREL_INTERNAL_TRACE(DELETE_KEY, L"SHDeleteKeyW return <%d>.", code);
    convertWinErrToException(DELETE_KEY, code,
                             L"Delete registry key <" + quotedPath(keyPath) + L">.");
}

std::vector<std::wstring> KrelRegistry::getKeys() {
    KREL_TRACE_SCOPE(GET_KEYS);
    Guard guard(lock);
    assertHandleIsOpen(GET_KEYS);
    traceListedPath(GET_KEYS, path);
    const std::wstring what = L"Get keys under <" + quotedPath(path) + L">.";
    std::vector<std::wstring> keys;
    wchar_t name[NAME_CHARACTERS];
    for (DWORD index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        DWORD nameSize = NAME_CHARACTERS;
        const LSTATUS code = RegEnumKeyExW(registryHandle, index, name, &nameSize, nullptr, nullptr,
                                           nullptr, nullptr);
        if (!gaveEntry(GET_KEYS, code, L"Truncated name.", what)) {
            break;
        }
        keys.push_back(name);
        KREL_INTERNAL_TRACE(GET_KEYS, L"Key <%ls>.", name);
    }
    traceListedCount(GET_KEYS, keys.size());
    return keys;
}

std::vector<std::wstring> KrelRegistry::getKeysWithValue() {
    KREL_TRACE_SCOPE(GET_KEYS_WITH_VALUE);
    Guard guard(lock);
    assertHandleIsOpen(GET_KEYS_WITH_VALUE);
    traceListedPath(GET_KEYS_WITH_VALUE, path);
    const std::wstring what = L"Get keys with values under <" + quotedPath(path) + L">.";
    std::vector<std::wstring> keys;
    wchar_t name[NAME_CHARACTERS];
    BYTE data[PRESENCE_BYTES];
    for (DWORD index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        DWORD nameSize = NAME_CHARACTERS;
        DWORD type = REG_NONE;
        DWORD dataSize = PRESENCE_BYTES;
        const LSTATUS code =
            RegEnumValueW(registryHandle, index, name, &nameSize, nullptr, &type, data, &dataSize);
        KREL_INTERNAL_TRACE(
            GET_KEYS_WITH_VALUE,
            L"RegEnumValueW return <%d> Name size<%d> Value type <%d> Value size <%d>.", code,
            asNumber(nameSize), asNumber(type), asNumber(dataSize));
        if (!gaveEntry(GET_KEYS_WITH_VALUE, code, L"Truncated name or value.", what)) {
            break;
        }
        const bool holdsSomething = type == REG_SZ ? dataSize >= SMALLEST_TEXT : dataSize >= 1;
        if (holdsSomething) {
            keys.push_back(name);
        }
        KREL_INTERNAL_TRACE(GET_KEYS_WITH_VALUE,
                            holdsSomething ? L"Key <%ls> added." : L"Key <%ls> has no value.",
                            name);
    }
    traceListedCount(GET_KEYS_WITH_VALUE, keys.size());
    return keys;
}

std::vector<std::pair<std::wstring, std::wstring>> KrelRegistry::getKeyValues() {
    KREL_TRACE_SCOPE(GET_KEY_VALUES);
    Guard guard(lock);
    assertHandleIsOpen(GET_KEY_VALUES);
    traceListedPath(GET_KEY_VALUES, path);
    const std::wstring what = L"Get key values under <" + quotedPath(path) + L">.";
    std::vector<std::pair<std::wstring, std::wstring>> values;
    wchar_t name[NAME_CHARACTERS];
    char16_t data[TEXT_UNITS];
    for (DWORD index = 0;; ++index) {
        // Both buffers start empty at every call: a value whose data does not fit is never
        // reported with the text of the value before it.
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        DWORD nameSize = NAME_CHARACTERS;
        DWORD type = REG_NONE;
        DWORD dataSize = TEXT_ANNOUNCED_BYTES;
        const LSTATUS code = RegEnumValueW(registryHandle, index, name, &nameSize, nullptr, &type,
                                           reinterpret_cast<LPBYTE>(data), &dataSize);
        if (!gaveEntry(GET_KEY_VALUES, code, L"Truncated name or value.", what)) {
            break;
        }
        const std::wstring valueName = name;
        std::wstring text;
        if (type == REG_SZ) {
            if (dataSize >= SMALLEST_TEXT) {
                text = textOf(data);
            }
        } else if (type == REG_DWORD) {
            text = std::to_wstring(enumerateNumber(index, what));
        }
        KREL_INTERNAL_TRACE(GET_KEY_VALUES, L"Key <%ls> Value <%ls> added.", valueName.c_str(),
                            text.c_str());
        values.emplace_back(valueName, text);
    }
    traceListedCount(GET_KEY_VALUES, values.size());
    return values;
}

int KrelRegistry::enumerateNumber(DWORD index, const std::wstring& what) {
    wchar_t name[NAME_CHARACTERS] = {};
    DWORD nameSize = NAME_CHARACTERS;
    int32_t number = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof number;
    const LSTATUS code = RegEnumValueW(registryHandle, index, name, &nameSize, nullptr, &type,
                                       reinterpret_cast<LPBYTE>(&number), &size);
    KREL_INTERNAL_TRACE(
        GET_KEY_VALUES,
        L"Is a number. RegEnumValueW return <%d> Number<%d> Value type <%d> Value size "
        L"<%d>.",
        code, number, asNumber(type), asNumber(size));
    convertWinErrToException(GET_KEY_VALUES, code, what);
    return number;
}

void KrelRegistry::convertWinErrToException(const wchar_t* function, long errorCode,
                                            const std::wstring& what) {
    if (errorCode == ERROR_SUCCESS) {
        return;
    }
    const ErrorKind kind = kindOf(errorCode);
    const std::wstring description = ErrorUtils::getErrorDescription(static_cast<int>(errorCode));
    Singleton<KrelLoggerSTD>::getInstance().STD3000(function, what, kindText(kind), description);
    throwKind(kind, what + L" " + kindText(kind) + L": <" + description + L">.");
}

void KrelRegistry::checkHKeyArg(const wchar_t* function, HKEY root) const {
    if (root == nullptr) {
        KrelIllegalArgumentException exception(L"Registry handle is NULL.");
        exception.logDebug(function);
        throw exception;
    }
}

void KrelRegistry::assertHandleIsOpen(const wchar_t* function) const {
    if (registryHandle == nullptr) {
        KrelIllegalStateException exception(L"Parent registry key is not open.");
        exception.logDebug(function);
        throw exception;
    }
}

} // namespace krel_std
