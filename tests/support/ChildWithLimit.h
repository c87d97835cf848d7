// Runs work in a forked child process with one resource limit lowered, so that a test can show
// how the library meets the limit (a full disk, no descriptor left) without the test process
// itself living under it.
#pragma once

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krel_test {

// Lowers `resource` (an RLIMIT_ constant) to `limit` in a child, runs work there and answers the
// child's exit code: what work answers, 96 when the limit could not be set, 98 when work
// throws, -1 when the child did not end normally. In the child a write past a file size limit
// fails (EFBIG) instead of ending the process, and an alarm ends a child that hangs.
inline int runInChildWithLimit(int resource, rlim_t limit, const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit lowered{limit, limit};
        int code = setrlimit(resource, &lowered) == 0 ? 97 : 96;
        if (code == 97) {
            try {
                code = work();
            } catch (...) {
                code = 98;
            }
        }
        _exit(code);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace krel_test
