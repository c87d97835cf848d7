// krel-admin list <hive>\<key>: the key's values in their order ("    <name>    <type>
// <data>", the default value named "(Default)", names and data escaped as values are), then
// its subkeys' full names, whose backslashes are the separators and stay as they are.
#include "AdminCommands.h"

namespace krel_admin {

namespace {

constexpr DWORD longestName = 16384;

LSTATUS listValues(HKEY key) {
    std::vector<wchar_t> name(longestName);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = longestName;
        LSTATUS status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const std::wstring valueName(name.data(), nameLength);
        if (status == ERROR_SUCCESS) {
            status = queryValue(key, valueName, type, data);
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        printLine(L"    " +
                  (valueName.empty() ? std::wstring(L"(Default)") : escapeValueText(valueName)) +
                  L"    " + typeName(type) + L"    " + formatData(type, data));
    }
}

LSTATUS listSubkeys(HKEY key, const std::wstring& keyName) {
    std::vector<wchar_t> name(longestName);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = longestName;
        const LSTATUS status =
            RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        printLine(joinKeyPath(keyName, std::wstring(name.data(), nameLength)));
    }
}

} // namespace

int listKey(const std::vector<std::string>& arguments) {
    KeyPath path;
    if (arguments.size() != 1) {
        return reportUsage(commandNamed("list"));
    }
    if (!parseKeyPath(arguments[0], path)) {
        return 2;
    }
    OpenKey opened;
    LSTATUS status = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, KEY_READ, &opened.key);
    if (status != ERROR_SUCCESS) {
        return reportMissing(arguments[0], status, "no such key");
    }
    const std::wstring keyName = joinKeyPath(path.rootName, path.subKey);
    printLine(keyName);
    status = listValues(opened.key);
    if (status == ERROR_SUCCESS) {
        status = listSubkeys(opened.key, keyName);
    }
    return status == ERROR_SUCCESS ? 0 : reportError(arguments[0], status);
}

} // namespace krel_admin
