// Runs work in a child process whose files cannot grow beyond a limit, as on a full disk: a
// write past the limit fails (with EFBIG) instead of ending the process.
#pragma once

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// The child's exit code: what work answers, 98 when it throws, -1 when the child did not end
// normally.
inline int runWithFileSizeLimit(rlim_t limit, const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        int code = setrlimit(RLIMIT_FSIZE, &fileSize) == 0 ? 97 : 96;
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
