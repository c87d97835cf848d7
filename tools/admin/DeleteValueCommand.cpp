// krel-admin delete-value <hive>\<key> <value>: deletes one value.
#include "AdminCommands.h"
#include "platform/Utf16.h"

namespace krel_admin {

int deleteValue(const std::vector<std::string>& arguments) {
    KeyPath path;
    if (arguments.size() != 2) {
        return reportUsage(commandNamed("delete-value"));
    }
    if (!parseKeyPath(arguments[0], path)) {
        return 2;
    }
    const std::string what = arguments[0] + " " + arguments[1];
    OpenKey opened;
    LSTATUS status = RegOpenKeyExW(path.root, path.subKey.c_str(), 0, KEY_SET_VALUE, &opened.key);
    if (status != ERROR_SUCCESS) {
        return reportMissing(what, status, "no such key");
    }
    status = RegDeleteValueW(opened.key, krel_platform::utf8ToWide(arguments[1]).c_str());
    return status == ERROR_SUCCESS ? 0 : reportMissing(what, status, "no such value");
}

} // namespace krel_admin
