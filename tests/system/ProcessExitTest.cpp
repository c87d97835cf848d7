#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/TempDirectory.h"

extern char** environ;

namespace {

constexpr int RUNS = 50;

// Runs the exit helpers, which return from main while every thread of the library works, each
// run with a directory of its own below the test's.
class ProcessExitTest : public TempDirectoryTest {
protected:
    static std::string helpersDirectory() {
        char buffer[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        const std::string self(buffer, length > 0 ? std::size_t(length) : 0);
        return self.substr(0, self.find_last_of('/')) + "/helpers/";
    }

    // The wait status of the program run with the arguments, or -1 when it could not start.
    static int run(std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            return -1;
        }
        int status = 0;
        return waitpid(pid, &status, 0) == pid ? status : -1;
    }

    // How many of the runs exited with status 0; each other ending is reported.
    template <class Command> int cleanExits(Command command) {
        int clean = 0;
        for (int index = 0; index < RUNS; ++index) {
            const int status = run(command(native("run" + std::to_string(index)).string()));
            if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                ++clean;
            } else {
                ADD_FAILURE() << "run " << index << " ended with wait status " << status;
            }
        }
        return clean;
    }
};

} // namespace

TEST_F(ProcessExitTest, ReturningFromMainWithEveryLibraryThreadAtWorkExitsWithZeroEveryTime) {
    EXPECT_EQ(
        RUNS, cleanExits([](const std::string& directory) {
            return std::vector<std::string>{helpersDirectory() + "krel_exit_helper", directory};
        }));
}

TEST_F(ProcessExitTest, LibraryLoadedByDlopenExitsWithZeroEveryTime) {
    EXPECT_EQ(RUNS, cleanExits([](const std::string& directory) {
                  return std::vector<std::string>{helpersDirectory() + "krel_exit_dlopen_helper",
                                                  helpersDirectory() + "libkrel_exit_scenario.so",
                                                  directory};
              }));
}
