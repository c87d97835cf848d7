// ReadWriteLock, a lock for many readers or one writer; ReaderLock and WriterLock hold it.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/Object.h"

namespace krel_std_internal {
class ReadWriteLockPimpl;
} // namespace krel_std_internal

namespace krel_std {

// A lock for up to maxReaders simultaneous readers or one writer. Both sides are recursive per
// thread; the writer may also take read locks. A waiting writer holds back new readers.
// Asking for the write lock while holding read locks gives up the read position first, so
// another writer may get in before the caller.
class ReadWriteLock : public Object {
public:
    // Scoped read lock.
    class ReaderLock {
    public:
        explicit ReaderLock(ReadWriteLock& lock);
        ReaderLock(const ReaderLock&) = delete;
        ReaderLock& operator=(const ReaderLock&) = delete;
        virtual ~ReaderLock();

    private:
        ReadWriteLock& rwLock;
    };

    // Scoped write lock.
    class WriterLock {
    public:
        explicit WriterLock(ReadWriteLock& lock);
        WriterLock(const WriterLock&) = delete;
        WriterLock& operator=(const WriterLock&) = delete;
        virtual ~WriterLock();

    private:
        ReadWriteLock& rwLock;
    };

    // Throws KrelIllegalArgumentException when maxReaders is below 1.
    explicit ReadWriteLock(int maxReaders = 32);
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;
    ~ReadWriteLock() override;

    // "ReadWriteLock{maxReaders='32'}".
    std::wstring toString() const override;

    void readLock();
    void readUnlock();
    void writeLock();
    void writeUnlock();

private:
    boost::shared_ptr<krel_std_internal::ReadWriteLockPimpl> pimpl;
};

} // namespace krel_std
