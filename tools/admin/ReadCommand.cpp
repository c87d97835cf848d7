// krel-admin read <hive>\<key> <value>: prints the value's data as list shows it ("" names
// the default value); a missing key or value is reported as such.
#include "AdminCommands.h"
#include "platform/Utf16.h"

namespace krel_admin {

int readValue(const std::vector<std::string>& arguments) {
    KeyPath path;
    if (arguments.size() != 2) {
        return reportUsage(commandNamed("read"));
    }
    if (!parseKeyPath(arguments[0], path)) {
        return 2;
    }
    const std::string what = arguments[0] + " " + arguments[1];
    OpenKey opened;
    LSTATUS status = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, KEY_QUERY_VALUE, &opened.key);
    if (status != ERROR_SUCCESS) {
        return reportMissing(what, status, "no such key");
    }
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    status = queryValue(opened.key, krel_platform::utf8ToWide(arguments[1]), type, data);
    if (status != ERROR_SUCCESS) {
        return reportMissing(what, status, "no such value");
    }
    printLine(formatData(type, data));
    return 0;
}

} // namespace krel_admin
