// Saves one configuration file over and over for another process's tests.
//
// Usage: krel_config_saver <path> <id> <count>
// Saves the file <count> times, each time with the value "<id>-<round>" under the key "first"
// of the unnamed section and the key "last" of the section [end], with a long filler between
// them, so that a reader can tell a whole file from a torn one. Writes "failed <id>-<round>"
// to stdout for every save that throws, then "done".
#include <cstdlib>
#include <iostream>
#include <string>

#include "config/ConfigurationFile.h"
#include "exception/KrelException.h"
#include "file/File.h"
#include "platform/Utf16.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: krel_config_saver <path> <id> <count>" << std::endl;
        return 2;
    }
    const std::string id = argv[2];
    const int count = std::atoi(argv[3]);
    krel_std::ConfigurationFile configuration(krel_std::File(krel_platform::utf8ToWide(argv[1])));
    configuration.setValue(L"filler", std::wstring(2000, L'x'));
    for (int round = 0; round < count; ++round) {
        const std::string value = id + "-" + std::to_string(round);
        configuration.setValue(L"first", krel_platform::utf8ToWide(value));
        configuration.setValue(L"last", krel_platform::utf8ToWide(value), L"end");
        try {
            configuration.save();
        } catch (const krel_std::KrelException&) {
            std::cout << "failed " << value << "\n";
        }
    }
    std::cout << "done" << std::endl;
    return 0;
}
