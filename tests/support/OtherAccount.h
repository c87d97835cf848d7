// Runs work as another account: a forked child that becomes the user nobody (65534) with every
// group dropped, so that a test can show what an account without the test's rights can do to
// its files. Only a process running as root can change its user; tests skip otherwise.
#pragma once

#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ChildWithLimit.h"

namespace krel_test {

const uid_t NOBODY = 65534;

// Why a test that needs another account is skipped here, or empty when it can run.
inline std::string otherAccountUnavailable() {
    return geteuid() == 0 ? std::string() : std::string("only root can act as the user nobody");
}

// Runs work in a child that has become nobody, as runInChild does; 95 when the child could not
// become nobody.
inline int runAsNobody(const std::function<int()>& work) {
    return runInChild(
        [] {
            return setgroups(0, nullptr) == 0 && setresgid(NOBODY, NOBODY, NOBODY) == 0 &&
                   setresuid(NOBODY, NOBODY, NOBODY) == 0;
        },
        95, work);
}

// Makes a symbolic link at `link` to `target` as nobody; true when it was made.
inline bool plantLinkAsNobody(const std::filesystem::path& target,
                              const std::filesystem::path& link) {
    return runAsNobody([&] { return symlink(target.c_str(), link.c_str()) == 0 ? 0 : 1; }) == 0;
}

// Lets every account make entries in the directory, as in a shared folder (sticky, as /tmp).
inline bool shareDirectory(const std::filesystem::path& directory) {
    return chmod(directory.c_str(), 01777) == 0;
}

} // namespace krel_test
