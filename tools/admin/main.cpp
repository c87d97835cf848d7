// krel-admin: lists, reads, writes and deletes registry keys and values of either hive, reads the
// event log and manages services.
//
// Usage: krel-admin <command> <arguments>; "krel-admin help" lists the commands.
#include <cstring>
#include <iostream>

#include "AdminCommands.h"

namespace {

void printHelp(std::ostream& out) {
    out << "usage: krel-admin <command> <arguments>\n";
    for (const krel_admin::AdminCommand& command : krel_admin::adminCommands()) {
        out << "  " << command.name << " " << command.usage << "\n      " << command.summary
            << "\n";
    }
    out << "The hives are user.db (HKCU) and machine.db (HKLM), the event log eventlog.db beside\n"
           "machine.db, all in the directory named by KREL_REGISTRY_DIR; when it is unset,\n"
           "user.db is in $XDG_CONFIG_HOME/krelstd/registry (else ~/.config/krelstd/registry)\n"
           "and machine.db in /var/lib/krelstd/registry.\n"
           "Stored text is printed with its control characters escaped (\\n, \\t, \\x1B); in\n"
           "value names and data a backslash is doubled (\\\\), so a TAB prints \\t and the text\n"
           "\\t prints \\\\t. Key paths are printed as they are.\n";
}

bool asksForHelp(const char* argument) {
    return std::strcmp(argument, "help") == 0 || std::strcmp(argument, "--help") == 0 ||
           std::strcmp(argument, "-h") == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printHelp(std::cerr);
        return 2;
    }
    if (asksForHelp(argv[1])) {
        printHelp(std::cout);
        return 0;
    }
    for (const krel_admin::AdminCommand& command : krel_admin::adminCommands()) {
        if (std::strcmp(command.name, argv[1]) == 0) {
            const int status = command.run(std::vector<std::string>(argv + 2, argv + argc));
            std::cout.flush();
            return status;
        }
    }
    std::cerr << "krel-admin: unknown command \"" << krel_admin::escapeControls(argv[1]) << "\"\n";
    printHelp(std::cerr);
    return 2;
}
