#include "AdminCommands.h"

#include <cstring>

namespace krel_admin {

const std::vector<AdminCommand>& adminCommands() {
    static const std::vector<AdminCommand> commands = {
        {"list", "<hive>\\<key>", "lists the values and subkeys of a key", &listKey},
        {"read", "<hive>\\<key> <value>", "prints a value's data", &readValue},
        {"write", "<hive>\\<key> <value> <type> <data>",
         "sets a value, creating the key; type is one of REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ "
         "(strings separated by \\0), REG_DWORD, REG_QWORD (decimal or 0x hexadecimal), "
         "REG_BINARY, REG_NONE (hexadecimal bytes), in any case",
         &writeValue},
        {"delete-value", "<hive>\\<key> <value>", "deletes a value", &deleteValue},
        {"delete-key", "<hive>\\<key>", "deletes a key with everything below it", &deleteKey},
        {"eventlog", "[--source <name>] [--from <record>] [--count <n>]",
         "prints the records of the Application event log, oldest first (\"no records\" when none "
         "matches)",
         &readEventLog},
        {"create-service",
         "<name> <command line> [--display <text>] [--start auto|demand|disabled] [--depend "
         "<name>]...",
         "enters a service into the database", &createService},
        {"delete-service", "<name>", "removes a service from the database", &deleteService},
        {"start-service", "<name>", "starts a service and prints its status", &startService},
        {"control-service", "<name> stop|pause|continue|interrogate|shutdown|<code> [--as-system]",
         "sends a control to a running service and prints its status", &controlService},
        {"query-service", "<name>",
         "prints a service's status, with the names of the controls it accepts", &queryService},
    };
    return commands;
}

const AdminCommand& commandNamed(const char* name) {
    for (const AdminCommand& command : adminCommands()) {
        if (std::strcmp(command.name, name) == 0) {
            return command;
        }
    }
    return adminCommands().front();
}

} // namespace krel_admin
