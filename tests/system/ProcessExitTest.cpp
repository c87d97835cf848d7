#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TempDirectory.h"

extern char** environ;

namespace {

// Runs the exit helper, which returns from main while every thread of the library works, with
// a directory of its own below the test's.
class ProcessExitTest : public TempDirectoryTest {
protected:
    static std::string helperPath() {
        char buffer[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        const std::string self(buffer, length > 0 ? std::size_t(length) : 0);
        return self.substr(0, self.find_last_of('/')) + "/helpers/krel_exit_helper";
    }

    // The helper's wait status, or -1 when it could not be started.
    int runHelper(const std::string& directory) const {
        const std::string program = helperPath();
        std::vector<char*> argv{const_cast<char*>(program.c_str()),
                                const_cast<char*>(directory.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            return -1;
        }
        int status = 0;
        return waitpid(pid, &status, 0) == pid ? status : -1;
    }
};

} // namespace

TEST_F(ProcessExitTest, ReturningFromMainWithEveryLibraryThreadAtWorkExitsWithZeroEveryTime) {
    constexpr int runs = 50;
    int clean = 0;
    for (int run = 0; run < runs; ++run) {
        const int status = runHelper(native("run" + std::to_string(run)).string());
        if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            ++clean;
        } else {
            ADD_FAILURE() << "run " << run << " ended with wait status " << status;
        }
    }
    EXPECT_EQ(runs, clean);
}
