#include "internal/ReadWriteLockPimpl.h"

#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "internal/MutexGuard.h"
#include "internal/PosixCalls.h"

using namespace krel_std;

namespace krel_std_internal {

namespace {
const uint32_t MAX_RECURSION = 0xFFFFFFFFu;
} // namespace

ReadWriteLockPimpl::ReadWriteLockPimpl(int maxReaders)
    : writer(PosixCalls::nullThread()), writerCount(0), maxReaders(maxReaders) {
    sem_init(&readerSlots, 0, static_cast<unsigned int>(maxReaders));
    pthread_mutex_init(&writerMutex, nullptr);
    pthread_mutex_init(&readerEntryMutex, nullptr);
    pthread_mutex_init(&mapMutex, nullptr);
}

ReadWriteLockPimpl::~ReadWriteLockPimpl() {
    pthread_mutex_destroy(&mapMutex);
    pthread_mutex_destroy(&readerEntryMutex);
    pthread_mutex_destroy(&writerMutex);
    sem_destroy(&readerSlots);
}

// The writer reads without a slot of its own.
void ReadWriteLockPimpl::readLock() {
    if (reenterRead()) {
        return;
    }
    if (!isWriter()) {
        MutexGuard entry(readerEntryMutex);
        takeSlot(L"krel_std::ReadWriteLock::readLock");
    }
    MutexGuard guard(mapMutex);
    readers[pthread_self()] = 1;
}

void ReadWriteLockPimpl::readUnlock() {
    bool returnSlot;
    {
        MutexGuard guard(mapMutex);
        auto entry = readers.find(pthread_self());
        if (entry == readers.end()) {
            PosixCalls::raise<KrelAccessException>(
                L"krel_std::ReadWriteLock::readUnlock",
                L"readUnlock failed: The current thread does not own the lock.");
        }
        if (--entry->second > 0) {
            return;
        }
        readers.erase(entry);
        returnSlot = !isWriter();
    }
    if (returnSlot) {
        postSlots(1);
    }
}

// A reader asking for the write lock gives up its read position first and gets its read count
// back (without a slot) once it is the writer.
void ReadWriteLockPimpl::writeLock() {
    if (!isWriter()) {
        acquireWrite(leaveReadPosition());
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
    int slots;
    {
        MutexGuard guard(mapMutex);
        writer.store(PosixCalls::nullThread());
        slots = maxReaders - (readers.count(pthread_self()) > 0 ? 1 : 0);
    }
    postSlots(slots);
}

bool ReadWriteLockPimpl::isWriter() const {
    return PosixCalls::isCurrentThread(writer.load());
}

bool ReadWriteLockPimpl::reenterRead() {
    MutexGuard guard(mapMutex);
    auto entry = readers.find(pthread_self());
    if (entry == readers.end()) {
        return false;
    }
    if (entry->second == MAX_RECURSION) {
        PosixCalls::raise<KrelOutOfResourcesException>(
            L"krel_std::ReadWriteLock::readLock",
            L"readLock failed: Recursion limit for this thread has been reached.");
    }
    ++entry->second;
    return true;
}

uint32_t ReadWriteLockPimpl::leaveReadPosition() {
    uint32_t count = 0;
    {
        MutexGuard guard(mapMutex);
        auto entry = readers.find(pthread_self());
        if (entry == readers.end()) {
            return 0;
        }
        count = entry->second;
        readers.erase(entry);
    }
    postSlots(1);
    return count;
}

void ReadWriteLockPimpl::acquireWrite(uint32_t readCount) {
    MutexGuard writers(writerMutex);
    MutexGuard entry(readerEntryMutex);
    collectAllSlots();
    writer.store(pthread_self());
    if (readCount > 0) {
        MutexGuard guard(mapMutex);
        readers[pthread_self()] = readCount;
    }
}

void ReadWriteLockPimpl::takeSlot(const wchar_t* context) {
    int error = PosixCalls::semWait(readerSlots);
    if (error != 0) {
        PosixCalls::checkSemaphoreError(error, context);
        PosixCalls::raise<KrelIllegalStateException>(
            context, L"The semaphore was in an invalid state, check that it has been initialized.",
            error);
    }
}

// On a failure part-way, the slots already taken go back before the exception leaves.
void ReadWriteLockPimpl::collectAllSlots() {
    int taken = 0;
    try {
        for (; taken < maxReaders; ++taken) {
            takeSlot(L"krel_std::ReadWriteLock::writeLock");
        }
    } catch (...) {
        postSlots(taken);
        throw;
    }
}

void ReadWriteLockPimpl::postSlots(int count) {
    for (int i = 0; i < count; ++i) {
        PosixCalls::semPost(readerSlots);
    }
}

} // namespace krel_std_internal
