// krel-admin: lists, reads, writes and deletes registry keys and values of either hive.
//
// Usage: krel-admin <command> <arguments>; "krel-admin help" lists the commands.
#include "AdminCommands.h"

#include <cstring>
#include <iostream>

namespace {

void printHelp() {
    std::cout << "usage: krel-admin <command> <arguments>\n";
    for (const krel_admin::AdminCommand& command : krel_admin::adminCommands()) {
        std::cout << "  " << command.name << " " << command.usage << "\n      " << command.summary
                  << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    for (const krel_admin::AdminCommand& command : krel_admin::adminCommands()) {
        if (std::strcmp(command.name, argv[1]) == 0) {
            const int status = command.run(std::vector<std::string>(argv + 2, argv + argc));
            std::cout.flush();
            return status;
        }
    }
    std::cerr << "krel-admin: unknown command \"" << argv[1] << "\"\n";
    printHelp();
    return 2;
}
