// krel-admin write <hive>\<key> <value> <type> <data>: sets the value, creating the key and
// the keys on its way.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cwctype>
#include <iostream>

#include "AdminCommands.h"
#include "platform/Utf16.h"

namespace krel_admin {

namespace {

void appendUtf16(std::vector<BYTE>& bytes, const std::wstring& text) {
    for (char16_t unit : krel_platform::wideToUtf16(text)) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

// REG_MULTI_SZ data: the strings separated by "\0" on the command line, each terminated,
// and an empty one to close the list.
void appendMultiString(std::vector<BYTE>& bytes, const std::wstring& text) {
    size_t start = 0;
    size_t end = 0;
    while (!text.empty() && end != std::wstring::npos) {
        end = text.find(L"\\0", start);
        appendUtf16(bytes, text.substr(start, end == std::wstring::npos ? end : end - start));
        start = end + 2;
    }
    appendUtf16(bytes, std::wstring());
}

bool appendNumber(std::vector<BYTE>& bytes, const std::string& text, size_t width) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    const bool fits = width == 8 || number <= 0xFFFFFFFFull;
    if (text.empty() || *end != '\0' || errno != 0 || !fits || text[0] == '-') {
        return false;
    }
    for (size_t i = 0; i < width; ++i) {
        bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
    }
    return true;
}

bool appendHex(std::vector<BYTE>& bytes, const std::string& text) {
    if (text.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0' || !std::iswxdigit(static_cast<wint_t>(pair[0]))) {
            return false;
        }
        bytes.push_back(static_cast<BYTE>(byte));
    }
    return true;
}

// The types the tool writes, by name.
const struct {
    const char* name;
    DWORD type;
} writableTypes[] = {
    {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
    {"REG_DWORD", REG_DWORD}, {"REG_QWORD", REG_QWORD},         {"REG_BINARY", REG_BINARY},
    {"REG_NONE", REG_NONE}};

// The type named by the text, matched in any case as hive names are; false for no such type.
bool parseType(const std::string& text, DWORD& type) {
    std::string upper = text;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const auto& known : writableTypes) {
        if (upper == known.name) {
            type = known.type;
            return true;
        }
    }
    return false;
}

// The Windows bytes of the data for its type; false for data that does not suit the type.
bool encode(DWORD type, const std::string& dataText, std::vector<BYTE>& bytes) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        appendUtf16(bytes, krel_platform::utf8ToWide(dataText));
        return true;
    case REG_MULTI_SZ:
        appendMultiString(bytes, krel_platform::utf8ToWide(dataText));
        return true;
    case REG_DWORD:
        return appendNumber(bytes, dataText, 4);
    case REG_QWORD:
        return appendNumber(bytes, dataText, 8);
    default:
        return appendHex(bytes, dataText);
    }
}

} // namespace

int writeValue(const std::vector<std::string>& arguments) {
    KeyPath path;
    if (arguments.size() != 4) {
        return reportUsage(commandNamed("write"));
    }
    if (!parseKeyPath(arguments[0], path)) {
        return 2;
    }
    DWORD type = REG_NONE;
    if (!parseType(arguments[2], type)) {
        std::cerr << "krel-admin: unknown type \"" << escapeControls(arguments[2]) << "\""
                  << std::endl;
        return reportUsage(commandNamed("write"));
    }
    std::vector<BYTE> bytes;
    if (!encode(type, arguments[3], bytes)) {
        std::cerr << "krel-admin: \"" << escapeControls(arguments[3]) << "\" is no data of type "
                  << krel_platform::wideToUtf8(typeName(type)) << std::endl;
        return reportUsage(commandNamed("write"));
    }
    OpenKey opened;
    LSTATUS status = RegCreateKeyExW(path.root, path.subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &opened.key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(opened.key, krel_platform::utf8ToWide(arguments[1]).c_str(), 0,
                                type, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    return status == ERROR_SUCCESS ? 0 : reportError(arguments[0] + " " + arguments[1], status);
}

} // namespace krel_admin
