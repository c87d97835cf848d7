#include "thread/ReadWriteLock.h"

#include "exception/KrelIllegalArgumentException.h"
#include "internal/PosixCalls.h"
#include "internal/ReadWriteLockPimpl.h"

using krel_std_internal::PosixCalls;
using krel_std_internal::ReadWriteLockPimpl;

namespace krel_std {

namespace {
int checkedMaxReaders(int maxReaders) {
    if (maxReaders < 1) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            L"krel_std::ReadWriteLock::ReadWriteLock",
            L"Maximum number of simultaneous readers must not be less than one.");
    }
    return maxReaders;
}
} // namespace

ReadWriteLock::ReaderLock::ReaderLock(ReadWriteLock& lock) : rwLock(lock) {
    rwLock.readLock();
}

ReadWriteLock::ReaderLock::~ReaderLock() {
    rwLock.readUnlock();
}

ReadWriteLock::WriterLock::WriterLock(ReadWriteLock& lock) : rwLock(lock) {
    rwLock.writeLock();
}

ReadWriteLock::WriterLock::~WriterLock() {
    rwLock.writeUnlock();
}

// The read-write lock's operations write no trace lines: the exceptions and the class registry
// that logging relies on take read-write locks.
ReadWriteLock::ReadWriteLock(int maxReaders)
    : pimpl(new ReadWriteLockPimpl(checkedMaxReaders(maxReaders))) {}

ReadWriteLock::~ReadWriteLock() {}

std::wstring ReadWriteLock::toString() const {
    return L"ReadWriteLock{maxReaders='" + std::to_wstring(pimpl->getMaxReaders()) + L"'}";
}

void ReadWriteLock::readLock() {
    pimpl->readLock();
}

void ReadWriteLock::readUnlock() {
    pimpl->readUnlock();
}

void ReadWriteLock::writeLock() {
    pimpl->writeLock();
}

void ReadWriteLock::writeUnlock() {
    pimpl->writeUnlock();
}

} // namespace krel_std
