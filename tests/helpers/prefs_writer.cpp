// Puts values into a node of the file preferences tree and flushes it, as another process would.
//
// Usage: krel_prefs_writer <user|system> <node path> <key>=<value>...
//        krel_prefs_writer <user|system> <node path> --each <count> <prefix>
// The first form puts the pairs and flushes once. The second puts the key <prefix><i> with the
// value <i> and flushes, for i from 0 to count - 1; a flush refused because another holder has
// the node's file is tried again until it succeeds (for at most a minute each).
// Exits with status 0 once the last flush has returned, 1 when the tree refused a step, 2 on bad
// arguments.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "exception/KrelException.h"
#include "platform/Utf16.h"
#include "platform/WinError.h"
#include "prefs/FilePreferences.h"

namespace {

typedef boost::shared_ptr<krel_std::Preferences> Node;

bool isSharingViolation(const krel_std::KrelException& error) {
    for (const krel_std::KrelException* step = &error; step != nullptr;
         step = step->getNestedException()) {
        if (step->getErrNum() == ERROR_SHARING_VIOLATION) {
            return true;
        }
    }
    return false;
}

void flushUntilStored(const Node& node) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    for (;;) {
        try {
            node->flush();
            return;
        } catch (const krel_std::KrelException& error) {
            if (!isSharingViolation(error) || std::chrono::steady_clock::now() > giveUp) {
                throw;
            }
        }
        // Back off a little so the holder can finish its write.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

int putEach(const Node& node, const char* countText, const char* prefixText) {
    const int count = std::atoi(countText);
    if (count <= 0) {
        return 2;
    }
    const std::wstring prefix = krel_platform::utf8ToWide(prefixText);
    for (int i = 0; i < count; ++i) {
        node->put(prefix + std::to_wstring(i), std::to_wstring(i));
        flushUntilStored(node);
    }
    return 0;
}

int putPairs(const Node& node, int argc, char** argv) {
    for (int i = 3; i < argc; ++i) {
        const std::wstring pair = krel_platform::utf8ToWide(argv[i]);
        const std::size_t equals = pair.find(L'=');
        if (equals == std::wstring::npos) {
            return 2;
        }
        node->put(pair.substr(0, equals), pair.substr(equals + 1));
    }
    node->flush();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string tree = argv[1];
    if (tree != "user" && tree != "system") {
        return 2;
    }
    const bool each = argc > 3 && std::string(argv[3]) == "--each";
    if (each && argc != 6) {
        return 2;
    }
    try {
        const Node root = tree == "user" ? krel_std::FilePreferences::getUserRoot()
                                         : krel_std::FilePreferences::getSystemRoot();
        const Node node = root->node(krel_platform::utf8ToWide(argv[2]));
        return each ? putEach(node, argv[4], argv[5]) : putPairs(node, argc, argv);
    } catch (const krel_std::KrelException&) {
        return 1;
    }
}
