#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <pthread.h>

namespace krel_std_internal {

// Readers and the writer meet in one atomic word: the number of threads holding a reader slot
// (at most maxReaders) and a writer flag, set by the writer from the moment it starts waiting
// for the readers to leave until its last writeUnlock. A reader enters with one atomic step while
// no writer is flagged and a slot is free; otherwise it sleeps on the condition variable, as does
// a writer waiting for the flag or for the readers to leave. Sleepers set a flag in the word, so
// a thread that leaves takes the mutex only when somebody sleeps.
//
// Each thread's read count is kept by the thread itself: a small thread-local table of
// (lock, count) entries, and a map in the lock for a thread whose table is full. Re-entering a
// read lock touches no shared state. Locks are told apart by a serial number that is never
// reused, so an entry left behind for a destroyed lock can never be taken for another lock.
//
// readLock and readUnlock run their common cases without a call: a count found in the table,
// and a slot that the word grants or takes back in one step. The writer reading, the overflow
// map, waits and wake-ups are out of line.
//
// Lock order: the mutex is the only lock taken inside; the overflow mutex is never held while
// waiting.
class ReadWriteLockPimpl {
public:
    explicit ReadWriteLockPimpl(int maxReaders);
    ReadWriteLockPimpl(const ReadWriteLockPimpl&) = delete;
    ReadWriteLockPimpl& operator=(const ReadWriteLockPimpl&) = delete;
    virtual ~ReadWriteLockPimpl();

    int getMaxReaders() const { return maxReaders; }

    void readLock();
    void readUnlock();
    void writeLock();
    void writeUnlock();

private:
    static constexpr uint64_t READER = 1;
    static constexpr uint64_t READER_MASK = 0xFFFFFFFFu;
    static constexpr uint64_t WRITER = uint64_t(1) << 32;
    static constexpr uint64_t SLEEPERS = uint64_t(1) << 33;

    // Adds one to a read count the caller holds; throws at the recursion limit.
    static void reenterRead(uint32_t& count);
    __attribute__((noinline, noreturn)) static void throwReadRecursion();
    // readLock and readUnlock where the caller's table cannot answer: a full table or a lock
    // with entries in its overflow map.
    __attribute__((noinline)) void readLockBeyondTable();
    __attribute__((noinline)) void readUnlockBeyondTable();
    // The word refused the slot that the caller counted itself in for: the writer reads without
    // a slot, anybody else waits for one. Then enters the caller's read count.
    __attribute__((noinline)) void enterRefusedReader();
    // Gives the caller's slot back, as a reader whose count just dropped to 0.
    void leaveAsReader();
    // The same while a writer is flagged or threads sleep: the caller may be the writer, which
    // holds no slot, or may have to wake the sleepers.
    __attribute__((noinline)) void leaveAsFlaggedReader();

    // The caller's read count for this lock: in its thread-local table or in the overflow map.
    uint32_t* findReadCount();
    void addReadCount(uint32_t count);
    void removeReadCount(uint32_t* count);
    // The same for a thread whose table is full, kept out of line so that the table's paths stay
    // small.
    __attribute__((noinline)) uint32_t* findOverflowReadCount();
    __attribute__((noinline)) void addOverflowReadCount(uint32_t count);
    __attribute__((noinline)) void removeOverflowReadCount();

    bool isWriter() const;
    // Whether the word admits one more reader.
    bool mayRead(uint64_t current) const;
    // One attempt to count the caller as a reader in the word.
    bool tryTakeSlot();
    void takeSlot();
    // Sleeps until the word admits the caller as a reader, then counts it.
    __attribute__((noinline)) void waitForSlot();
    void returnSlot();
    void acquireWrite();
    // Sets the sleepers flag in the word, unless the word is no longer expected; answers whether
    // the caller may now sleep.
    bool announceSleeper(uint64_t expected);
    // Adds change (modulo 2^64) to the word as a reader or the writer leaves, and wakes every
    // sleeper when the change may let one go on.
    void leave(uint64_t change);
    // Makes the change under the mutex and wakes every sleeper.
    __attribute__((noinline)) void leaveAndWake(uint64_t change);

    // Readers read these on every first entry, and they rarely change, so they share a cache
    // line that the word's traffic does not disturb.
    const uint64_t serial;
    const int maxReaders;
    // Entries in the overflow map: while there are none, a count the table lacks is not held.
    std::atomic<int> overflowCount;
    // Every reader writes the word; it has a cache line of its own, so the fields that readers
    // only read stay in their caches.
    alignas(64) std::atomic<uint64_t> state;
    alignas(64) std::atomic<pthread_t> writer;
    uint32_t writerCount;
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    // Read counts of threads whose thread-local table was full.
    pthread_mutex_t overflowMutex;
    std::map<pthread_t, uint32_t> overflowReaders;
};

} // namespace krel_std_internal
