// Holds a LockedFile open, or the writers' turn of a registry hive, for another process's tests.
//
// Usage: krel_lock_holder <path> <read|overwrite>
// Opens the file, writes "locked" (or "failed" when the open is refused) and a newline to
// stdout, then keeps the file open until stdin reaches its end.
//
// Usage: krel_lock_holder <lock file> turn <wait limit in milliseconds>
// Takes the writers' turn of the lock file and writes "locked"; at the first line on stdin lets
// it go, takes it once more (writing "locked" again, or "busy" when the wait limit passed) and
// lets it go, then waits for stdin's end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "exception/KrelException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/SqliteWriteLock.h"
#include "platform/Utf16.h"

namespace {

void waitForInputEnd() {
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
}

// Takes the turn and says whether it did.
bool takeTurn(krel_platform::SqliteWriteLock& lock) {
    const bool held = lock.acquire() == 0;
    std::cout << (held ? "locked" : "busy") << std::endl;
    return held;
}

int holdTurn(const char* path, const char* waitLimit) {
    krel_platform::SqliteWriteLock::setWaitLimitForTests(
        std::chrono::milliseconds(std::atol(waitLimit)));
    krel_platform::SqliteWriteLock lock;
    if (!lock.open(path)) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    const bool held = takeTurn(lock);
    std::string line;
    if (std::getline(std::cin, line)) {
        if (held) {
            lock.release();
        }
        if (takeTurn(lock)) {
            lock.release();
        }
    }
    waitForInputEnd();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[2], "turn") == 0) {
        return holdTurn(argv[1], argv[3]);
    }
    if (argc != 3) {
        std::cerr << "usage: krel_lock_holder <path> <read|overwrite>" << std::endl;
        return 2;
    }
    const krel_std::LockedFile::AccessType type = std::strcmp(argv[2], "read") == 0
                                                      ? krel_std::LockedFile::Read
                                                      : krel_std::LockedFile::Overwrite;
    krel_std::LockedFile file;
    try {
        file.open(krel_std::File(krel_platform::utf8ToWide(argv[1])), type);
    } catch (const krel_std::KrelException&) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "locked" << std::endl;
    waitForInputEnd();
    return 0;
}
