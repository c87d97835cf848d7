// Puts values into a node of the file preferences tree and flushes it, as another process would.
//
// Usage: krel_prefs_writer <user|system> <node path> <key>=<value>...
// Exits with status 0 once the flush has returned, 1 when the tree refused a step, 2 on bad
// arguments.
#include "exception/KrelException.h"
#include "platform/Utf16.h"
#include "prefs/FilePreferences.h"

#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string tree = argv[1];
    if (tree != "user" && tree != "system") {
        return 2;
    }
    try {
        const boost::shared_ptr<krel_std::Preferences> root =
            tree == "user" ? krel_std::FilePreferences::getUserRoot()
                           : krel_std::FilePreferences::getSystemRoot();
        const boost::shared_ptr<krel_std::Preferences> node =
            root->node(krel_platform::utf8ToWide(argv[2]));
        for (int i = 3; i < argc; ++i) {
            const std::wstring pair = krel_platform::utf8ToWide(argv[i]);
            const std::size_t equals = pair.find(L'=');
            if (equals == std::wstring::npos) {
                return 2;
            }
            node->put(pair.substr(0, equals), pair.substr(equals + 1));
        }
        node->flush();
    } catch (const krel_std::KrelException&) {
        return 1;
    }
    return 0;
}
