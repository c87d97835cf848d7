#include "platform/SqliteWriteLock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/CancellationOff.h"
#include "platform/FileReplacement.h"

namespace krel_platform {

namespace {

// The writer next in line holds the gate while it waits for the turn, so the writer whose
// turn has just ended cannot take the turn again before it: it queues at the gate.
constexpr off_t gateByte = 0;
constexpr off_t turnByte = 1;

// The lock file holds the count of waiting writers at its start.
constexpr size_t countedSize = 64;

static_assert(std::atomic<uint32_t>::is_always_lock_free,
              "the count of waiters is shared between processes");

int lockRange(int descriptor, short type, off_t start, off_t length, int command) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = start;
    range.l_len = length;
    int result;
    do {
        result = fcntl(descriptor, command, &range);
    } while (result != 0 && errno == EINTR);
    return result;
}

bool isConflict(int error) {
    return error == EAGAIN || error == EACCES;
}

// What the waiting thread shares with the writer it waits for.
struct TurnWaiter {
    int descriptor;
    int wake;
    // -1 while waiting, 0 once the turn is held, else the errno of the failed lock.
    std::atomic<int> error{-1};
};

// Blocks in the kernel until the gate and then the turn are this process's; the writer
// cancels it when its wait limit has passed.
void* waitForTurn(void* argument) {
    TurnWaiter& waiter = *static_cast<TurnWaiter*>(argument);
    int result = lockRange(waiter.descriptor, F_WRLCK, gateByte, 1, F_OFD_SETLKW);
    if (result == 0) {
        result = lockRange(waiter.descriptor, F_WRLCK, turnByte, 1, F_OFD_SETLKW);
    }
    waiter.error.store(result == 0 ? 0 : errno);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(waiter.wake, &one, sizeof one);
    return nullptr;
}

void drain(int descriptor) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = read(descriptor, &count, sizeof count);
}

} // namespace

SqliteWriteLock::~SqliteWriteLock() {
    if (waiting != nullptr) {
        munmap(waiting, countedSize);
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    if (wake >= 0) {
        close(wake);
    }
}

bool SqliteWriteLock::open(const std::string& lockPath) {
    path = lockPath;
    descriptor = openResolved(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (descriptor < 0 || wake < 0) {
        return false;
    }
    // Without the count every writer goes through the gate.
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && (status.st_size >= static_cast<off_t>(countedSize) ||
                                            ftruncate(descriptor, countedSize) == 0)) {
        void* mapped =
            mmap(nullptr, countedSize, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
        waiting = mapped == MAP_FAILED ? nullptr : static_cast<std::atomic<uint32_t>*>(mapped);
    }
    return true;
}

int SqliteWriteLock::acquire() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitLimitMs);
    if (descriptor < 0) {
        return SQLITE_CANTOPEN;
    }
    if (!threads.try_lock_until(deadline)) {
        return SQLITE_BUSY;
    }
    const int result = lockFile(deadline);
    if (result != SQLITE_OK) {
        threads.unlock();
    }
    return result;
}

void SqliteWriteLock::release() {
    lockRange(descriptor, F_UNLCK, turnByte, 1, F_OFD_SETLK);
    threads.unlock();
}

// A lone writer takes the turn at once; one that finds the turn taken, or others waiting,
// queues.
int SqliteWriteLock::lockFile(std::chrono::steady_clock::time_point deadline) {
    if (waiting != nullptr && waiting->load() == 0) {
        if (lockRange(descriptor, F_WRLCK, turnByte, 1, F_OFD_SETLK) == 0) {
            return SQLITE_OK;
        }
        if (!isConflict(errno)) {
            return SQLITE_IOERR;
        }
    }
    if (waiting != nullptr) {
        waiting->fetch_add(1);
    }
    const int result = queue(deadline);
    if (waiting != nullptr) {
        waiting->fetch_sub(1);
    }
    return result;
}

// Both bytes at once when nobody holds either; the gate is let go as soon as the turn is held.
int SqliteWriteLock::queue(std::chrono::steady_clock::time_point deadline) {
    if (lockRange(descriptor, F_WRLCK, gateByte, 2, F_OFD_SETLK) != 0) {
        return isConflict(errno) ? waitInThread(deadline) : SQLITE_IOERR;
    }
    lockRange(descriptor, F_UNLCK, gateByte, 1, F_OFD_SETLK);
    return SQLITE_OK;
}

// A blocking lock cannot be given a time limit, so a thread of its own blocks for the writer,
// which waits for it no longer than the deadline and then cancels it. Cancellation is off for
// the writer meanwhile: the thread uses the writer's stack.
int SqliteWriteLock::waitInThread(std::chrono::steady_clock::time_point deadline) {
    CancellationOff cancellationOff;
    TurnWaiter waiter{descriptor, wake};
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread;
    const int created = pthread_create(&thread, nullptr, waitForTurn, &waiter);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (created != 0) {
        reopen();
        return SQLITE_NOMEM;
    }
    int ready = 0;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd woken{wake, POLLIN, 0};
        ready = poll(&woken, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready >= 0 || errno != EINTR) {
            break;
        }
    }
    if (ready <= 0) {
        pthread_cancel(thread);
    }
    pthread_join(thread, nullptr);
    drain(wake);
    const int error = waiter.error.load();
    if (error == 0) {
        lockRange(descriptor, F_UNLCK, gateByte, 1, F_OFD_SETLK);
        return SQLITE_OK;
    }
    reopen();
    return error < 0 ? SQLITE_BUSY : SQLITE_IOERR;
}

// Closing the file description drops both bytes, whichever a cancelled wait had taken.
void SqliteWriteLock::reopen() {
    close(descriptor);
    descriptor = openResolved(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

} // namespace krel_platform
