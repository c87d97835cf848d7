#include <cstdio>
#include <cstring>
#include <cwctype>
#include <iostream>

#include "AdminCommands.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"

namespace krel_admin {

namespace {

std::wstring upperCase(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    }
    return text;
}

std::wstring utf16Text(const std::vector<BYTE>& data) {
    std::u16string units(data.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return krel_platform::utf16ToWide(units);
}

// The string of REG_SZ data without its terminator; the strings of REG_MULTI_SZ joined by
// "\0" without the closing empty one. Each string is escaped before the join, so a "\0" that
// a string holds as text reads "\\0" and never as a separator.
std::wstring stringData(DWORD type, const std::vector<BYTE>& data) {
    std::wstring text = utf16Text(data);
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    if (type != REG_MULTI_SZ) {
        return escapeValueText(text.substr(0, text.find(L'\0')));
    }
    std::wstring joined;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\0', start);
        joined +=
            escapeValueText(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) {
            return joined;
        }
        joined += L"\\0";
        start = end + 1;
    }
}

bool isControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

std::wstring escapeOf(wchar_t c) {
    switch (c) {
    case L'\n':
        return L"\\n";
    case L'\r':
        return L"\\r";
    case L'\t':
        return L"\\t";
    default: {
        wchar_t digits[8];
        std::swprintf(digits, 8, L"\\x%02X", static_cast<unsigned int>(c));
        return digits;
    }
    }
}

uint64_t littleEndian(const std::vector<BYTE>& data) {
    uint64_t number = 0;
    for (size_t i = data.size(); i-- > 0;) {
        number = (number << 8) | data[i];
    }
    return number;
}

} // namespace

bool parseKeyPath(const std::string& text, KeyPath& path) {
    const std::wstring wide = krel_platform::utf8ToWide(text);
    const size_t separator = wide.find(L'\\');
    const std::wstring hive = upperCase(wide.substr(0, separator));
    path.subKey = separator == std::wstring::npos ? std::wstring() : wide.substr(separator + 1);
    if (hive == L"HKCU" || hive == L"HKEY_CURRENT_USER") {
        path.root = HKEY_CURRENT_USER;
        path.rootName = L"HKEY_CURRENT_USER";
        return true;
    }
    if (hive == L"HKLM" || hive == L"HKEY_LOCAL_MACHINE") {
        path.root = HKEY_LOCAL_MACHINE;
        path.rootName = L"HKEY_LOCAL_MACHINE";
        return true;
    }
    std::cerr << "krel-admin: unknown hive in \"" << escapeControls(text)
              << "\" (HKCU, HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE)" << std::endl;
    return false;
}

std::wstring joinKeyPath(const std::wstring& parent, const std::wstring& child) {
    if (child.empty()) {
        return parent;
    }
    return parent.empty() || parent.back() == L'\\' ? parent + child : parent + L"\\" + child;
}

OpenKey::~OpenKey() {
    if (key != nullptr) {
        RegCloseKey(key);
    }
}

// The data may grow between asking for its size and reading it: then ask again.
LSTATUS queryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    for (;;) {
        DWORD size = 0;
        LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        data.assign(size, 0);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status != ERROR_MORE_DATA) {
            data.resize(size);
            return status;
        }
    }
}

std::wstring typeName(DWORD type) {
    static const wchar_t* const names[] = {L"REG_NONE",
                                           L"REG_SZ",
                                           L"REG_EXPAND_SZ",
                                           L"REG_BINARY",
                                           L"REG_DWORD",
                                           L"REG_DWORD_BIG_ENDIAN",
                                           L"REG_LINK",
                                           L"REG_MULTI_SZ",
                                           L"REG_RESOURCE_LIST",
                                           L"REG_FULL_RESOURCE_DESCRIPTOR",
                                           L"REG_RESOURCE_REQUIREMENTS_LIST",
                                           L"REG_QWORD"};
    return type < sizeof names / sizeof names[0] ? names[type] : std::to_wstring(type);
}

std::wstring formatData(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        return stringData(type, data);
    }
    if ((type == REG_DWORD && data.size() == 4) || (type == REG_QWORD && data.size() == 8)) {
        return std::to_wstring(littleEndian(data));
    }
    std::wstring hex;
    for (BYTE byte : data) {
        wchar_t digits[3];
        std::swprintf(digits, 3, L"%02X", byte);
        hex += digits;
    }
    return hex;
}

int reportError(const std::string& what, LSTATUS status) {
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(status), 0, text, 512, nullptr);
    std::wstring message(text, length);
    while (!message.empty() && std::iswspace(static_cast<wint_t>(message.back()))) {
        message.pop_back();
    }
    if (message.empty()) {
        message = L"error";
    }
    std::cerr << "krel-admin: " << escapeControls(what) << ": "
              << krel_platform::wideToUtf8(message) << " (" << status << ")" << std::endl;
    return 1;
}

int reportMissing(const std::string& what, LSTATUS status, const char* missing) {
    if (status != ERROR_FILE_NOT_FOUND) {
        return reportError(what, status);
    }
    std::cerr << "krel-admin: " << escapeControls(what) << ": " << missing << " (" << status << ")"
              << std::endl;
    return 1;
}

int reportUsage(const AdminCommand& command) {
    std::cerr << "usage: krel-admin " << command.name << " " << command.usage << std::endl;
    return 2;
}

std::wstring escapeControls(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        if (isControl(c)) {
            escaped += escapeOf(c);
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::wstring escapeValueText(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\\') {
            escaped += L"\\\\";
        } else if (isControl(c)) {
            escaped += escapeOf(c);
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string escapeControls(const std::string& text) {
    return krel_platform::wideToUtf8(escapeControls(krel_platform::utf8ToWide(text)));
}

void printLine(const std::wstring& text) {
    std::cout << krel_platform::wideToUtf8(escapeControls(text)) << '\n';
}

} // namespace krel_admin
