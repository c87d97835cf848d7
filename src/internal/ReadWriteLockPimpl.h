#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <map>

namespace krel_std_internal {

// Readers each hold one slot of a counting semaphore of maxReaders slots; the writer collects
// every slot. Lock order: writer mutex, then reader-entry mutex; the map mutex is never held
// while waiting for a slot or for the other two mutexes. A slot is counted only once the
// semaphore call that takes it has succeeded.
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
    bool isWriter() const;
    // Answers true when the caller already held read locks, after counting one more.
    bool reenterRead();
    // Removes the caller's read position and answers its count (0 when it had none).
    uint32_t leaveReadPosition();
    void acquireWrite(uint32_t readCount);
    void takeSlot(const wchar_t* context);
    void collectAllSlots();
    void postSlots(int count);

    sem_t readerSlots;
    pthread_mutex_t writerMutex;
    pthread_mutex_t readerEntryMutex;
    pthread_mutex_t mapMutex;
    std::map<pthread_t, uint32_t> readers;
    std::atomic<pthread_t> writer;
    uint32_t writerCount;
    int maxReaders;
};

} // namespace krel_std_internal
