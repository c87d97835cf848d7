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
#include <unistd.h>

#include "platform/CancellationOff.h"
#include "platform/FileReplacement.h"

namespace krel_platform {

namespace {

// The writer next in line holds the gate while it waits for the turn, so the writer whose
// turn has just ended cannot take the turn again before it: it queues at the gate.
constexpr off_t GATE_BYTE = 0;
constexpr off_t TURN_BYTE = 1;

std::atomic<int> waitLimit{SqliteWriteLock::WAIT_LIMIT_MS};

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
    int result = lockRange(waiter.descriptor, F_WRLCK, GATE_BYTE, 1, F_OFD_SETLKW);
    if (result == 0) {
        result = lockRange(waiter.descriptor, F_WRLCK, TURN_BYTE, 1, F_OFD_SETLKW);
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

void SqliteWriteLock::setWaitLimitForTests(std::chrono::milliseconds limit) {
    waitLimit.store(static_cast<int>(limit.count()));
}

SqliteWriteLock::~SqliteWriteLock() {
    if (descriptor >= 0) {
        close(descriptor);
    }
    if (wake >= 0) {
        close(wake);
    }
}

bool SqliteWriteLock::open(const std::string& path, mode_t mode) {
    descriptor = openResolved(path, O_RDWR | O_CREAT | O_CLOEXEC, mode);
    wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return descriptor >= 0 && wake >= 0;
}

int SqliteWriteLock::acquire() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitLimit.load());
    if (descriptor < 0) {
        return SQLITE_CANTOPEN;
    }
    if (!threads.try_lock_until(deadline)) {
        return SQLITE_BUSY;
    }
    const int result = queue(deadline);
    if (result != SQLITE_OK) {
        threads.unlock();
    }
    return result;
}

void SqliteWriteLock::release() {
    lockRange(descriptor, F_UNLCK, TURN_BYTE, 1, F_OFD_SETLK);
    threads.unlock();
}

// Both bytes at once when nobody holds either; the gate is let go as soon as the turn is held,
// so a writer arriving while others wait for the turn finds the gate taken and queues.
int SqliteWriteLock::queue(std::chrono::steady_clock::time_point deadline) {
    if (lockRange(descriptor, F_WRLCK, GATE_BYTE, 2, F_OFD_SETLK) != 0) {
        return isConflict(errno) ? waitInThread(deadline) : SQLITE_IOERR;
    }
    lockRange(descriptor, F_UNLCK, GATE_BYTE, 1, F_OFD_SETLK);
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
        lockRange(descriptor, F_UNLCK, GATE_BYTE, 1, F_OFD_SETLK);
        return SQLITE_OK;
    }
    unlockAll();
    return error < 0 ? SQLITE_BUSY : SQLITE_IOERR;
}

// The description stays open for the next wait: unlocking is what gives the bytes back.
void SqliteWriteLock::unlockAll() {
    lockRange(descriptor, F_UNLCK, GATE_BYTE, 2, F_OFD_SETLK);
}

} // namespace krel_platform
