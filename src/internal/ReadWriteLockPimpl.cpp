#include "internal/ReadWriteLockPimpl.h"

#include "exception/KrelAccessException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "internal/CallerThread.h"
#include "internal/MutexGuard.h"
#include "internal/PosixCalls.h"

using namespace krel_std;

namespace krel_std_internal {

namespace {

const uint32_t MAX_RECURSION = 0xFFFFFFFFu;

// One thread's read count on one lock.
struct ReadEntry {
    uint64_t lock;
    uint32_t count;
};

// Enough for the read locks one thread holds at once in practice; more go to the lock's map.
const uint32_t READ_TABLE_SIZE = 8;

// The entries in use are the first `used` ones, so a thread that holds no read lock finds none
// at once, and one that holds one finds it at the first look.
struct ReadTable {
    uint32_t used;
    ReadEntry entries[READ_TABLE_SIZE];
};

__thread ReadTable readTable __attribute__((tls_model("initial-exec")));

std::atomic<uint64_t> nextSerial(1);

// A flagged writer holds back every new reader while it waits for the readers inside to leave.
// Readers hold the lock for short spells, so the writer looks again a number of times before it
// goes to sleep: its sleeping and waking would keep all readers waiting far longer. The pauses
// between looks double up to a bound, so the writer does not crowd the cache line that the
// leaving readers change. Readers themselves do not spin: a reader held back sleeps at once,
// which costs the running threads less than readers crowding that line.
const int WRITER_ROUNDS = 32;

class Backoff {
public:
    explicit Backoff(int rounds) : rounds(rounds), round(0) {}

    // Pauses for this round and answers true, or answers false once the rounds are used up.
    bool pause() {
        if (round == rounds) {
            return false;
        }
        for (int i = 0, pauses = 1 << (round < 6 ? round : 6); i < pauses; ++i) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        ++round;
        return true;
    }

private:
    const int rounds;
    int round;
};

} // namespace

ReadWriteLockPimpl::ReadWriteLockPimpl(int maxReaders)
    : serial(nextSerial.fetch_add(1, std::memory_order_relaxed)), maxReaders(maxReaders),
      overflowCount(0), state(0), writer(PosixCalls::nullThread()), writerCount(0) {
    pthread_mutex_init(&mutex, nullptr);
    pthread_cond_init(&changed, nullptr);
    pthread_mutex_init(&overflowMutex, nullptr);
}

// A thread whose release woke sleepers may still be inside the mutex.
ReadWriteLockPimpl::~ReadWriteLockPimpl() {
    PosixCalls::lockMutex(mutex);
    PosixCalls::unlockMutex(mutex);
    pthread_mutex_destroy(&overflowMutex);
    pthread_cond_destroy(&changed);
    pthread_mutex_destroy(&mutex);
}

// A count in the caller's table is the read lock re-entered. Without one, and with no overflow
// entries to look through, the caller holds no read lock here: it counts itself in the word, and
// only a refusal (a writer flagged, possibly the caller itself, or every slot taken) leaves this
// path.
void ReadWriteLockPimpl::readLock() {
    ReadTable& table = readTable;
    const uint32_t used = table.used;
    for (uint32_t i = 0; i < used; ++i) {
        if (table.entries[i].lock == serial) {
            reenterRead(table.entries[i].count);
            return;
        }
    }
    if (used == READ_TABLE_SIZE || overflowCount.load(std::memory_order_acquire) != 0) {
        readLockBeyondTable();
        return;
    }
    if (!mayRead(state.fetch_add(READER, std::memory_order_acquire))) {
        enterRefusedReader();
        return;
    }
    table.entries[used] = ReadEntry{serial, 1};
    table.used = used + 1;
}

// The last entry in use takes the place of the one removed. Read locks are mostly released in
// the reverse order of taking, so the entry removed mostly is the last one, which is not copied:
// copying an entry just written would wait for its two stores to reach the cache.
void ReadWriteLockPimpl::readUnlock() {
    ReadTable& table = readTable;
    const uint32_t used = table.used;
    for (uint32_t i = 0; i < used; ++i) {
        if (table.entries[i].lock == serial) {
            if (--table.entries[i].count == 0) {
                if (i != used - 1) {
                    table.entries[i] = table.entries[used - 1];
                }
                table.used = used - 1;
                leaveAsReader();
            }
            return;
        }
    }
    readUnlockBeyondTable();
}

void ReadWriteLockPimpl::reenterRead(uint32_t& count) {
    if (count == MAX_RECURSION) {
        throwReadRecursion();
    }
    ++count;
}

void ReadWriteLockPimpl::throwReadRecursion() {
    PosixCalls::raise<KrelOutOfResourcesException>(
        L"krel_std::ReadWriteLock::readLock",
        L"readLock failed: Recursion limit for this thread has been reached.");
}

// The writer reads without a slot of its own.
void ReadWriteLockPimpl::readLockBeyondTable() {
    uint32_t* count = findReadCount();
    if (count != nullptr) {
        reenterRead(*count);
        return;
    }
    bool slot = !isWriter();
    if (slot) {
        takeSlot();
    }
    try {
        addReadCount(1);
    } catch (...) {
        if (slot) {
            returnSlot();
        }
        throw;
    }
}

void ReadWriteLockPimpl::readUnlockBeyondTable() {
    uint32_t* count =
        overflowCount.load(std::memory_order_acquire) == 0 ? nullptr : findOverflowReadCount();
    if (count == nullptr) {
        PosixCalls::raise<KrelAccessException>(
            L"krel_std::ReadWriteLock::readUnlock",
            L"readUnlock failed: The current thread does not own the lock.");
    }
    if (--*count > 0) {
        return;
    }
    removeOverflowReadCount();
    if (!isWriter()) {
        returnSlot();
    }
}

// Only the writer flag refuses the writer, which holds the lock: no thread waits for the count it
// takes back, so that needs no wake-up. The caller's table has room, as readLock found.
void ReadWriteLockPimpl::enterRefusedReader() {
    if (isWriter()) {
        state.fetch_sub(READER, std::memory_order_relaxed);
    } else {
        returnSlot();
        waitForSlot();
    }
    addReadCount(1);
}

// With no writer flagged and nobody asleep, nobody needs to hear of the departure, and the
// caller, not being the writer, holds a slot.
void ReadWriteLockPimpl::leaveAsReader() {
    uint64_t current = state.load(std::memory_order_relaxed);
    while ((current & (WRITER | SLEEPERS)) == 0) {
        if (state.compare_exchange_weak(current, current - READER, std::memory_order_release,
                                        std::memory_order_relaxed)) {
            return;
        }
    }
    leaveAsFlaggedReader();
}

void ReadWriteLockPimpl::leaveAsFlaggedReader() {
    if (!isWriter()) {
        returnSlot();
    }
}

// A reader asking for the write lock gives up its slot first and keeps its read count, without
// a slot, once it is the writer. A reader whose wait for the write lock is cancelled loses its
// read position.
void ReadWriteLockPimpl::writeLock() {
    if (!isWriter()) {
        uint32_t* count = findReadCount();
        if (count != nullptr) {
            returnSlot();
        }
        try {
            acquireWrite();
        } catch (...) {
            if (count != nullptr) {
                removeReadCount(count);
            }
            throw;
        }
        writer.store(CallerThread::handle(), std::memory_order_relaxed);
    }
    if (writerCount == MAX_RECURSION) {
        PosixCalls::raise<KrelOutOfResourcesException>(
            L"krel_std::ReadWriteLock::writeLock",
            L"writeLock failed: The recursion limit for this lock has been exceeded.");
    }
    ++writerCount;
}

// A writer that still holds read locks keeps one slot as an ordinary reader.
void ReadWriteLockPimpl::writeUnlock() {
    if (!isWriter()) {
        PosixCalls::raise<KrelAccessException>(
            L"krel_std::ReadWriteLock::writeUnlock",
            L"writeUnlock failed: The current thread does not own the lock.");
    }
    if (--writerCount > 0) {
        return;
    }
    uint64_t change = findReadCount() != nullptr ? READER - WRITER : 0 - WRITER;
    writer.store(PosixCalls::nullThread(), std::memory_order_relaxed);
    leave(change);
}

uint32_t* ReadWriteLockPimpl::findReadCount() {
    ReadTable& table = readTable;
    const uint32_t used = table.used;
    for (uint32_t i = 0; i < used; ++i) {
        if (table.entries[i].lock == serial) {
            return &table.entries[i].count;
        }
    }
    return overflowCount.load(std::memory_order_acquire) == 0 ? nullptr : findOverflowReadCount();
}

// Only the calling thread touches its own entry, in the table or in the map, so the count is
// read and written without the overflow mutex.
void ReadWriteLockPimpl::addReadCount(uint32_t count) {
    ReadTable& table = readTable;
    const uint32_t used = table.used;
    if (used < READ_TABLE_SIZE) {
        table.entries[used] = ReadEntry{serial, count};
        table.used = used + 1;
    } else {
        addOverflowReadCount(count);
    }
}

// The last entry in use takes the place of the one removed.
void ReadWriteLockPimpl::removeReadCount(uint32_t* count) {
    ReadTable& table = readTable;
    const uint32_t used = table.used;
    const uintptr_t first = reinterpret_cast<uintptr_t>(&table.entries[0].count);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(count) - first;
    if (offset < used * sizeof(ReadEntry)) {
        table.entries[offset / sizeof(ReadEntry)] = table.entries[used - 1];
        table.used = used - 1;
    } else {
        removeOverflowReadCount();
    }
}

uint32_t* ReadWriteLockPimpl::findOverflowReadCount() {
    MutexGuard guard(overflowMutex);
    auto entry = overflowReaders.find(CallerThread::handle());
    return entry == overflowReaders.end() ? nullptr : &entry->second;
}

void ReadWriteLockPimpl::addOverflowReadCount(uint32_t count) {
    MutexGuard guard(overflowMutex);
    overflowReaders[CallerThread::handle()] = count;
    overflowCount.fetch_add(1, std::memory_order_release);
}

void ReadWriteLockPimpl::removeOverflowReadCount() {
    MutexGuard guard(overflowMutex);
    overflowReaders.erase(CallerThread::handle());
    overflowCount.fetch_sub(1, std::memory_order_release);
}

// Only the writer itself can find its handle there. The writer field changes once per write
// lock, so readers find it in their caches.
bool ReadWriteLockPimpl::isWriter() const {
    return pthread_equal(writer.load(std::memory_order_relaxed), CallerThread::handle()) != 0;
}

bool ReadWriteLockPimpl::mayRead(uint64_t current) const {
    return (current & WRITER) == 0 && (current & READER_MASK) < uint64_t(maxReaders);
}

// Counting first and looking afterwards takes one step that always succeeds, where a
// compare-and-swap fails over and over while many readers come and go. A reader that counted
// itself when it may not enter takes itself out again, waking whoever that concerns.
bool ReadWriteLockPimpl::tryTakeSlot() {
    uint64_t previous = state.fetch_add(READER, std::memory_order_acquire);
    if (mayRead(previous)) {
        return true;
    }
    returnSlot();
    return false;
}

void ReadWriteLockPimpl::takeSlot() {
    if (!tryTakeSlot()) {
        waitForSlot();
    }
}

void ReadWriteLockPimpl::waitForSlot() {
    // Under the mutex a reader enters only by a compare-and-swap: taking itself out again would
    // need the mutex to wake others.
    MutexGuard guard(mutex);
    uint64_t current = state.load(std::memory_order_relaxed);
    while (true) {
        if (mayRead(current)) {
            if (state.compare_exchange_weak(current, current + READER, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
                return;
            }
        } else {
            if (announceSleeper(current)) {
                pthread_cond_wait(&changed, &mutex);
            }
            current = state.load(std::memory_order_relaxed);
        }
    }
}

void ReadWriteLockPimpl::returnSlot() {
    leave(0 - READER);
}

// Flags the writer (which holds back new readers), then waits for the readers to leave. A writer
// that finds another one flagged sleeps until the flag is free. A wait that ends through an
// exception or a cancellation takes the flag back.
void ReadWriteLockPimpl::acquireWrite() {
    bool flagged = (state.fetch_or(WRITER, std::memory_order_acquire) & WRITER) == 0;
    Backoff drain(WRITER_ROUNDS);
    while (flagged) {
        if ((state.load(std::memory_order_acquire) & READER_MASK) == 0) {
            return;
        }
        if (!drain.pause()) {
            break;
        }
    }
    MutexGuard guard(mutex);
    uint64_t current = state.load(std::memory_order_relaxed);
    while (!flagged) {
        if ((current & WRITER) == 0) {
            flagged = state.compare_exchange_weak(
                current, current | WRITER, std::memory_order_acquire, std::memory_order_relaxed);
        } else {
            if (announceSleeper(current)) {
                pthread_cond_wait(&changed, &mutex);
            }
            current = state.load(std::memory_order_relaxed);
        }
    }
    try {
        current = state.load(std::memory_order_acquire);
        while ((current & READER_MASK) != 0) {
            if (announceSleeper(current)) {
                pthread_cond_wait(&changed, &mutex);
            }
            current = state.load(std::memory_order_acquire);
        }
    } catch (...) {
        state.fetch_and(~(WRITER | SLEEPERS), std::memory_order_release);
        pthread_cond_broadcast(&changed);
        throw;
    }
}

bool ReadWriteLockPimpl::announceSleeper(uint64_t expected) {
    return (expected & SLEEPERS) != 0 ||
           state.compare_exchange_strong(expected, expected | SLEEPERS, std::memory_order_relaxed,
                                         std::memory_order_relaxed);
}

// Once the change is made another thread may take the lock and destroy it. A change that must
// wake sleepers is therefore made under the mutex, which the destructor takes before it goes;
// any other change is one step, after which nothing here touches the lock. While a writer is
// flagged, only the last reader's departure can let anybody go on.
void ReadWriteLockPimpl::leave(uint64_t change) {
    uint64_t current = state.load(std::memory_order_relaxed);
    while (true) {
        bool wakes =
            (current & SLEEPERS) != 0 &&
            ((current & WRITER) == 0 || (current & READER_MASK) <= READER || change + READER != 0);
        if (wakes) {
            break;
        }
        if (state.compare_exchange_weak(current, current + change, std::memory_order_release,
                                        std::memory_order_relaxed)) {
            return;
        }
    }
    leaveAndWake(change);
}

void ReadWriteLockPimpl::leaveAndWake(uint64_t change) {
    MutexGuard guard(mutex);
    state.fetch_add(change, std::memory_order_release);
    state.fetch_and(~SLEEPERS, std::memory_order_relaxed);
    pthread_cond_broadcast(&changed);
}

} // namespace krel_std_internal
