// The turn of one writer of an SQLite database among the writers of every process.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace krel_platform {

// A small lock file beside the database, locked with open-file-description locks (which the
// kernel drops when their holder ends, however it ends) around each write transaction. A
// writer blocks in the kernel instead of polling as SQLite's busy handler does, so a process
// that writes in a loop cannot keep taking the database back while others sleep: a waiter
// holds the entry gate while it waits for the turn, and every writer passes the gate, so one
// that finds others waiting queues behind them. The locks alone decide who writes; a wait
// given up drops whatever it had taken, so nothing of this process stays locked after it.
// Threads of one process take their turns on a mutex first, since an open file description's
// lock belongs to the whole process. Every wait ends after the wait limit.
class SqliteWriteLock {
public:
    // Long enough for any write of a living process; a holder that is stopped or hung is not
    // waited for beyond it.
    static constexpr int WAIT_LIMIT_MS = 30000;

    // For tests of stalled holders: the wait limit of this process's later waits.
    static void setWaitLimitForTests(std::chrono::milliseconds limit);

    SqliteWriteLock() = default;
    SqliteWriteLock(const SqliteWriteLock&) = delete;
    SqliteWriteLock& operator=(const SqliteWriteLock&) = delete;
    ~SqliteWriteLock();

    // Opens the lock file, creating it with the mode when missing; false when it cannot be
    // opened for writing (it can then never be locked).
    bool open(const std::string& path, mode_t mode = 0666);

    // Waits for the calling thread's turn: SQLITE_OK when it holds the lock, SQLITE_BUSY when
    // another holder kept it for the whole wait limit, another SQLite code when the file
    // cannot be locked.
    int acquire();
    void release();

    // Holds the lock for a scope when acquiring it succeeded.
    class Turn {
    public:
        explicit Turn(SqliteWriteLock& lock) : lock(lock), result(lock.acquire()) {}
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        ~Turn() {
            if (result == 0) {
                lock.release();
            }
        }

        // SQLITE_OK while the turn is held, else acquire()'s result.
        int status() const { return result; }

    private:
        SqliteWriteLock& lock;
        int result;
    };

private:
    int queue(std::chrono::steady_clock::time_point deadline);
    int waitInThread(std::chrono::steady_clock::time_point deadline);
    // Drops the gate and the turn, whichever a wait given up had taken.
    void unlockAll();

    int descriptor = -1;
    int wake = -1;
    std::timed_mutex threads;
};

} // namespace krel_platform
