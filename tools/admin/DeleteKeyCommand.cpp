// krel-admin delete-key <hive>\<key>: deletes the key with its subkeys and values.
#include "AdminCommands.h"

namespace krel_admin {

int deleteKey(const std::vector<std::string>& arguments) {
    KeyPath path;
    if (arguments.size() != 1) {
        return reportUsage(commandNamed("delete-key"));
    }
    if (!parseKeyPath(arguments[0], path)) {
        return 2;
    }
    const LSTATUS status = SHDeleteKeyW(path.root, path.subKey.c_str());
    return status == ERROR_SUCCESS ? 0 : reportMissing(arguments[0], status, "no such key");
}

} // namespace krel_admin
