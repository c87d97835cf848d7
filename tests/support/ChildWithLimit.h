// Runs work in a forked child process, prepared first (with one resource limit lowered, say),
// so that a test can show how the library meets a limit or another account without the test
// process itself living under it.
#pragma once

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krel_test {

// Runs work in a forked child once prepare (run in the child first) succeeded, and answers the
// child's exit code: what work answers, unprepared when prepare failed, 98 when work throws, -1
// when the child did not end normally. In the child a write past a file size limit fails
// (EFBIG) instead of ending the process, and an alarm ends a child that hangs.
inline int runInChild(const std::function<bool()>& prepare, int unprepared,
                      const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);
        signal(SIGXFSZ, SIG_IGN);
        int code = unprepared;
        if (prepare()) {
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

// Lowers `resource` (an RLIMIT_ constant) to `limit` in a child and runs work there, as
// runInChild does; 96 when the limit could not be set.
inline int runInChildWithLimit(int resource, rlim_t limit, const std::function<int()>& work) {
    const rlimit lowered{limit, limit};
    return runInChild([&] { return setrlimit(resource, &lowered) == 0; }, 96, work);
}

} // namespace krel_test
