#include "thread/ReadWriteLock.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <pthread.h>
#include <vector>

#include "SyncTestSupport.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "thread/Concurrency.h"
#include "thread/Event.h"
#include "thread/Semaphore.h"

using namespace krel_std;
using sync_test::Background;

namespace {

// A reader on another thread that holds its read lock until released.
class HeldReader {
public:
    HeldReader(ReadWriteLock& lock, Semaphore& entered, Event& releaseOne, Event& releaseAll)
        : thread([&] {
              ReadWriteLock::ReaderLock guard(lock);
              entered.increment();
              Concurrency::waitForMultipleObjects({&releaseOne, &releaseAll},
                                                  Concurrency::WAIT_FOR_ANY, 10000);
              return true;
          }) {}

    Background<bool> thread;
};

Background<bool>* readLockElsewhere(ReadWriteLock& lock) {
    return new Background<bool>([&lock] {
        ReadWriteLock::ReaderLock guard(lock);
        return true;
    });
}

Background<bool>* writeLockElsewhere(ReadWriteLock& lock) {
    return new Background<bool>([&lock] {
        ReadWriteLock::WriterLock guard(lock);
        return true;
    });
}

TEST(ReadWriteLockTest, DefaultLockAdmits32ReadersAndHoldsBackThe33rd) {
    ReadWriteLock lock;
    Semaphore entered;
    Event releaseOne;
    Event releaseAll(false, false);
    std::vector<std::unique_ptr<HeldReader>> readers;
    for (int i = 0; i < 32; ++i) {
        readers.emplace_back(new HeldReader(lock, entered, releaseOne, releaseAll));
    }
    for (int i = 0; i < 32; ++i) {
        entered.decrement();
    }
    std::unique_ptr<Background<bool>> late(readLockElsewhere(lock));
    EXPECT_FALSE(late->finishedWithin(sync_test::BRIEFLY));
    releaseOne.signal();
    EXPECT_TRUE(late->get());
    releaseAll.signal();
    for (auto& reader : readers) {
        EXPECT_TRUE(reader->thread.get());
    }
}

TEST(ReadWriteLockTest, ReaderReturnsItsSlotOnlyAfterTheLastReadUnlock) {
    ReadWriteLock lock(1);
    lock.readLock();
    lock.readLock();
    lock.readUnlock();
    std::unique_ptr<Background<bool>> other(readLockElsewhere(lock));
    EXPECT_FALSE(other->finishedWithin(sync_test::BRIEFLY));
    lock.readUnlock();
    EXPECT_TRUE(other->get());
}

TEST(ReadWriteLockTest, WriterExcludesReadersAndWriters) {
    ReadWriteLock lock;
    lock.writeLock();
    std::unique_ptr<Background<bool>> reader(readLockElsewhere(lock));
    std::unique_ptr<Background<bool>> writer(writeLockElsewhere(lock));
    EXPECT_FALSE(reader->finishedWithin(sync_test::BRIEFLY));
    EXPECT_FALSE(writer->finishedWithin(sync_test::BRIEFLY));
    lock.writeUnlock();
    EXPECT_TRUE(reader->get());
    EXPECT_TRUE(writer->get());
}

TEST(ReadWriteLockTest, WriterWaitsForReaders) {
    ReadWriteLock lock;
    lock.readLock();
    std::unique_ptr<Background<bool>> writer(writeLockElsewhere(lock));
    EXPECT_FALSE(writer->finishedWithin(sync_test::BRIEFLY));
    lock.readUnlock();
    EXPECT_TRUE(writer->get());
}

TEST(ReadWriteLockTest, WriterThatReadsStaysAnOrdinaryReaderAfterWriteUnlock) {
    ReadWriteLock lock(1);
    lock.writeLock();
    lock.readLock();
    lock.writeUnlock();
    std::unique_ptr<Background<bool>> other(readLockElsewhere(lock));
    EXPECT_FALSE(other->finishedWithin(sync_test::BRIEFLY));
    lock.readUnlock();
    EXPECT_TRUE(other->get());
}

TEST(ReadWriteLockTest, ReaderMayUpgradeAndKeepsItsReadCount) {
    ReadWriteLock lock;
    lock.readLock();
    lock.writeLock();
    lock.writeLock();
    lock.writeUnlock();
    lock.writeUnlock();
    lock.readUnlock();
    EXPECT_THROW(lock.readUnlock(), KrelAccessException);
    std::unique_ptr<Background<bool>> writer(writeLockElsewhere(lock));
    EXPECT_TRUE(writer->get());
}

TEST(ReadWriteLockTest, WaitingWriterHoldsBackNewReaders) {
    ReadWriteLock lock;
    lock.readLock();
    std::atomic<bool> written(false);
    std::unique_ptr<Background<bool>> writer(new Background<bool>([&] {
        ReadWriteLock::WriterLock guard(lock);
        written = true;
        return true;
    }));
    EXPECT_FALSE(writer->finishedWithin(sync_test::BRIEFLY));
    std::unique_ptr<Background<bool>> reader(new Background<bool>([&] {
        ReadWriteLock::ReaderLock guard(lock);
        return written.load();
    }));
    EXPECT_FALSE(reader->finishedWithin(sync_test::BRIEFLY));
    lock.readUnlock();
    EXPECT_TRUE(writer->get());
    EXPECT_TRUE(reader->get());
}

// A reader re-entering its read lock must not queue behind the writer that waits for it to leave.
TEST(ReadWriteLockTest, ReaderReentersWhileAWriterWaits) {
    ReadWriteLock lock(1);
    Semaphore entered;
    Event writerWaits(false, false);
    Background<bool> reader([&] {
        ReadWriteLock::ReaderLock first(lock);
        entered.increment();
        Concurrency::waitForSingleObject(writerWaits, 10000);
        ReadWriteLock::ReaderLock again(lock);
        return true;
    });
    entered.decrement();
    std::unique_ptr<Background<bool>> writer(writeLockElsewhere(lock));
    EXPECT_FALSE(writer->finishedWithin(sync_test::BRIEFLY));
    writerWaits.signal();
    ASSERT_TRUE(reader.finishedWithin(sync_test::SOON));
    EXPECT_TRUE(reader.get());
    EXPECT_TRUE(writer->get());
}

TEST(ReadWriteLockTest, WriterCancelledWhileWaitingNoLongerHoldsBackReaders) {
    ReadWriteLock lock;
    lock.readLock();
    ASSERT_TRUE(sync_test::cancelInsideWait([&lock] { lock.writeLock(); }));
    std::unique_ptr<Background<bool>> reader(readLockElsewhere(lock));
    EXPECT_TRUE(reader->get());
    lock.readUnlock();
    std::unique_ptr<Background<bool>> writer(writeLockElsewhere(lock));
    EXPECT_TRUE(writer->get());
}

// The writer that the last reader lets in may destroy the lock at once, also when the reader had
// to wake it from its sleep.
TEST(ReadWriteLockTest, WokenWriterMayDestroyTheLockAtOnce) {
    for (int round = 0; round < 10; ++round) {
        ReadWriteLock* lock = new ReadWriteLock;
        lock->readLock();
        Background<bool> writer([lock] {
            lock->writeLock();
            lock->writeUnlock();
            delete lock;
            return true;
        });
        EXPECT_FALSE(writer.finishedWithin(sync_test::BRIEFLY));
        lock->readUnlock();
        ASSERT_TRUE(writer.get()) << "round " << round;
    }
}

// A thread's read counts are kept per lock; holding many locks at once must not mix them up.
TEST(ReadWriteLockTest, ReadCountsOfManyLocksHeldAtOnceStaySeparate) {
    const int locks = 20;
    std::vector<std::unique_ptr<ReadWriteLock>> held;
    for (int i = 0; i < locks; ++i) {
        held.emplace_back(new ReadWriteLock(1));
        held.back()->readLock();
        for (int extra = 0; extra < i % 3; ++extra) {
            held.back()->readLock();
        }
    }
    for (int i = 0; i < locks; ++i) {
        for (int extra = 0; extra < i % 3; ++extra) {
            held[i]->readUnlock();
        }
        std::unique_ptr<Background<bool>> other(readLockElsewhere(*held[i]));
        if (i == 0 || i == locks - 1) {
            EXPECT_FALSE(other->finishedWithin(sync_test::BRIEFLY)) << "lock " << i;
        }
        held[i]->readUnlock();
        EXPECT_TRUE(other->get()) << "lock " << i;
        EXPECT_THROW(held[i]->readUnlock(), KrelAccessException) << "lock " << i;
    }
}

// A lock made where a destroyed one lived must not inherit a read position left on the old one.
TEST(ReadWriteLockTest, NewLockDoesNotInheritAReadPositionOfADestroyedLock) {
    std::unique_ptr<ReadWriteLock> old(new ReadWriteLock);
    old->readLock();
    old.reset();
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<ReadWriteLock> fresh(new ReadWriteLock);
        EXPECT_THROW(fresh->readUnlock(), KrelAccessException);
    }
}

TEST(ReadWriteLockTest, UnlockWithoutHoldingThrows) {
    ReadWriteLock lock;
    try {
        lock.readUnlock();
        FAIL() << "readUnlock without a read lock";
    } catch (KrelAccessException& e) {
        EXPECT_EQ(L"readUnlock failed: The current thread does not own the lock.", e.getMessage());
    }
    try {
        lock.writeUnlock();
        FAIL() << "writeUnlock without the write lock";
    } catch (KrelAccessException& e) {
        EXPECT_EQ(L"writeUnlock failed: The current thread does not own the lock.", e.getMessage());
    }
    // The lock is still fully usable.
    ReadWriteLock::WriterLock guard(lock);
}

TEST(ReadWriteLockTest, MaximumBelowOneIsRejected) {
    try {
        ReadWriteLock lock(0);
        FAIL() << "accepted 0 readers";
    } catch (KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Maximum number of simultaneous readers must not be less than one.",
                  e.getMessage());
    }
}

TEST(ReadWriteLockTest, TextForm) {
    EXPECT_EQ(L"ReadWriteLock{maxReaders='32'}", ReadWriteLock().toString());
    EXPECT_EQ(L"ReadWriteLock{maxReaders='4'}", ReadWriteLock(4).toString());
}

// Writers keep two values equal; readers must never see them differ.
TEST(ReadWriteLockTest, ReadersNeverSeeAHalfDoneWrite) {
    ReadWriteLock lock(4);
    long first = 0;
    long second = 0;
    std::vector<std::unique_ptr<Background<bool>>> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back(new Background<bool>([&] {
            for (int i = 0; i < 2000; ++i) {
                ReadWriteLock::WriterLock guard(lock);
                ++first;
                ++second;
            }
            return true;
        }));
    }
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back(new Background<bool>([&] {
            bool consistent = true;
            for (int i = 0; i < 2000; ++i) {
                ReadWriteLock::ReaderLock guard(lock);
                consistent = consistent && first == second;
            }
            return consistent;
        }));
    }
    for (auto& thread : threads) {
        EXPECT_TRUE(thread->get());
    }
    EXPECT_EQ(6000, first);
    EXPECT_EQ(6000, second);
}

} // namespace
