// Costs of the synchronisation primitives on their hot paths: taking a free lock, re-entering a
// lock the caller owns (which must not touch the POSIX mutex), and read-lock re-entry.
#include <benchmark/benchmark.h>

#include "thread/AutoLock.h"
#include "thread/Lock.h"
#include "thread/ReadWriteLock.h"

using namespace krel_std;

static void LockAndUnlockFreeLock(benchmark::State& state) {
    Lock lock;
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
}
BENCHMARK(LockAndUnlockFreeLock);

static void ReenterOwnedLock(benchmark::State& state) {
    Lock lock;
    AutoLock<Lock> outer(lock);
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
}
BENCHMARK(ReenterOwnedLock);

static void ReenterReadLock(benchmark::State& state) {
    ReadWriteLock lock;
    ReadWriteLock::ReaderLock outer(lock);
    for (auto _ : state) {
        lock.readLock();
        lock.readUnlock();
    }
}
BENCHMARK(ReenterReadLock);

static void ReadLockFromManyThreads(benchmark::State& state) {
    static ReadWriteLock& lock = *new ReadWriteLock;
    for (auto _ : state) {
        ReadWriteLock::ReaderLock reader(lock);
        benchmark::DoNotOptimize(&reader);
    }
}
BENCHMARK(ReadLockFromManyThreads)->Threads(1)->Threads(4)->Threads(8);
