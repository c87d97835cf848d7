// Shared set-up of the file preferences tests: the preferences directory of this process, a
// node of the user tree of each test's own, and the writer program run as another process.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "exception/KrelException.h"
#include "prefs/FilePreferences.h"
#include "prefs/PreferenceChangeNotifier.h"
#include "support/TempDirectory.h"

extern char** environ;

namespace krel_test {

// The directory the file tree of this process lives under. When the test program runs outside
// CTest it gets one of its own below $TMPDIR, set before the back end first reads it, so no test
// ever writes into a home directory or "/".
inline std::filesystem::path prefsDirectory() {
    static const std::filesystem::path directory = [] {
        const char* given = std::getenv("KREL_PREFS_DIR");
        if (given != nullptr && *given != '\0') {
            return std::filesystem::path(given);
        }
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-prefs-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        setenv("KREL_PREFS_DIR", pattern.c_str(), 1);
        return std::filesystem::path(pattern);
    }();
    return directory;
}

inline std::string writerProgram() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.find_last_of('/')) + "/helpers/krel_prefs_writer";
}

// Starts the writer program with the arguments, in this process's environment changed by
// `changes` (an empty value drops the variable); answers its process id, -1 when it could not
// be started.
inline pid_t startWriter(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& changes = {}) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (changes.count(text.substr(0, text.find('='))) == 0) {
            environment.push_back(text);
        }
    }
    for (const auto& change : changes) {
        if (!change.second.empty()) {
            environment.push_back(change.first + "=" + change.second);
        }
    }
    std::vector<std::string> command{writerProgram()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

// Waits for a started writer to end; answers its exit status, -1 when it did not exit normally.
inline int waitForWriter(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the writer program to its end; answers its exit status as waitForWriter does.
inline int runWriter(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& changes = {}) {
    return waitForWriter(startWriter(arguments, changes));
}

// Each test works in the user node named after it, whose directory is removed afterwards.
class FilePreferencesTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        prefsDir = prefsDirectory();
        nodeName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        node = krel_std::FilePreferences::getUserRoot()->node(
            std::wstring(nodeName.begin(), nodeName.end()));
    }

    void TearDown() override {
        try {
            node->removeNode();
        } catch (const krel_std::KrelException&) {
            // A test that removed the node itself leaves nothing to remove.
        }
        std::error_code ignored;
        std::filesystem::remove_all(userDirectory(), ignored);
        TempDirectoryTest::TearDown();
    }

    // The directory of the test's node, or of a node below it.
    std::filesystem::path userDirectory(const std::string& below = std::string()) const {
        const std::filesystem::path own = prefsDir / "user" / nodeName;
        return below.empty() ? own : own / below;
    }

    static std::string readFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static void writeFile(const std::filesystem::path& file, const std::string& bytes) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    static krel_std::PreferenceChangeNotifier& notifier() {
        return krel_std::Singleton<krel_std::PreferenceChangeNotifier>::getInstance();
    }

    std::filesystem::path prefsDir;
    std::string nodeName;
    boost::shared_ptr<krel_std::Preferences> node;
};

} // namespace krel_test
