#include "platform/WinThread.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <linux/futex.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/WinBase.h"
#include "platform/WinHandles.h"
#include "platform/WinProcess.h"

#define KREL_SIGNAL_SAFE_TLS __attribute__((tls_model("initial-exec"))) thread_local

namespace {

// The suspend word: the suspend count in the low bits, and a bit the thread sets while its
// signal handler holds it. Both change together, so a resume that lowers the count to 0 and a
// suspend that raises it again never miss each other.
constexpr uint32_t PARKED = 0x80000000u;
constexpr uint32_t COUNT_MASK = 0x7FFFFFFFu;
// How long SuspendThread waits for the thread to stop (a thread that blocks the signal).
constexpr auto STOP_PATIENCE = std::chrono::seconds(10);

long futex(std::atomic<uint32_t>& word, int operation, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), operation, value, timeout,
                   nullptr, 0);
}

// What a thread of _beginthreadex shares with its handles.
struct ThreadRecord {
    ThreadRecord() : endDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ThreadRecord() {
        if (endDescriptor >= 0) {
            close(endDescriptor);
        }
    }
    ThreadRecord(const ThreadRecord&) = delete;
    ThreadRecord& operator=(const ThreadRecord&) = delete;

    std::atomic<uint32_t> word{0};
    // Orders suspends and resumes with the thread's end: no signal is sent once ended is set.
    std::mutex mutex;
    bool ended = false;
    std::atomic<bool> hasEnded{false};
    std::atomic<uint32_t> threadId{0};
    std::atomic<DWORD> exitCode{STILL_ACTIVE};
    pthread_t thread{};
    // Readable once the thread has ended.
    const int endDescriptor;
};

class KernelThread : public krel_platform::KernelObject {
public:
    explicit KernelThread(std::shared_ptr<ThreadRecord> record) : record(std::move(record)) {}
    // The thread is never joined: it ends on its own.
    ~KernelThread() override { pthread_detach(record->thread); }

    int waitDescriptor() const override { return record->endDescriptor; }
    bool isSignaledFor(DWORD) const override { return record->hasEnded.load(); }

    const std::shared_ptr<ThreadRecord> record;
};

struct StartBlock {
    std::shared_ptr<ThreadRecord> record;
    unsigned (*function)(void*);
    void* argument;
};

// The record of the calling thread, for the signal handler; null on other threads.
KREL_SIGNAL_SAFE_TLS ThreadRecord* currentRecord = nullptr;
// Set while the handler holds the thread: a signal arriving then only wakes it.
KREL_SIGNAL_SAFE_TLS bool holding = false;

// Holds the thread in sigsuspend while its suspend count is above 0. Only async-signal-safe calls.
void holdWhileSuspended(ThreadRecord& record, int signal) {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    sigdelset(&mask, signal);
    uint32_t word = record.word.load();
    for (;;) {
        if ((word & COUNT_MASK) == 0) {
            if ((word & PARKED) == 0 || record.word.compare_exchange_weak(word, word & ~PARKED)) {
                return;
            }
            continue;
        }
        if ((word & PARKED) == 0) {
            if (!record.word.compare_exchange_weak(word, word | PARKED)) {
                continue;
            }
            futex(record.word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
        }
        sigsuspend(&mask);
        word = record.word.load();
    }
}

void onSuspendSignal(int signal) {
    const int savedErrno = errno;
    ThreadRecord* record = currentRecord;
    if (record != nullptr && !holding) {
        holding = true;
        holdWhileSuspended(*record, signal);
        holding = false;
    }
    errno = savedErrno;
}

void installSuspendHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = onSuspendSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(krel_platform::threadSuspendSignal(), &action, nullptr);
    });
}

// Marks the thread ended however it leaves (a return, pthread_exit or a cancellation).
struct EndMark {
    explicit EndMark(ThreadRecord& record) : record(record) {}
    EndMark(const EndMark&) = delete;
    EndMark& operator=(const EndMark&) = delete;
    ~EndMark() {
        std::lock_guard<std::mutex> lock(record.mutex);
        currentRecord = nullptr;
        record.ended = true;
        record.hasEnded.store(true);
        const uint64_t one = 1;
        (void)!write(record.endDescriptor, &one, sizeof(one));
    }
    ThreadRecord& record;
};

void unblockSuspendSignal() {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, krel_platform::threadSuspendSignal());
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
}

// Starts with the suspend signal blocked, so a suspend is held back until the handler can find
// this thread's record.
void* threadMain(void* start) {
    const std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(start));
    ThreadRecord& record = *block->record;
    currentRecord = &record;
    record.threadId.store(GetCurrentThreadId());
    futex(record.threadId, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
    const EndMark endMark(record);
    unblockSuspendSignal();
    if ((record.word.load() & COUNT_MASK) != 0) {
        pthread_kill(pthread_self(), krel_platform::threadSuspendSignal());
    }
    record.exitCode.store(block->function(block->argument));
    return nullptr;
}

std::shared_ptr<ThreadRecord> recordOf(HANDLE handle) {
    const std::shared_ptr<KernelThread> thread =
        krel_platform::referenceHandleAs<KernelThread>(handle);
    return thread != nullptr ? thread->record : nullptr;
}

DWORD failCount(DWORD error) {
    SetLastError(error);
    return static_cast<DWORD>(-1);
}

// Waits until the handler holds the thread, or the patience runs out.
void awaitStopped(ThreadRecord& record) {
    const auto deadline = std::chrono::steady_clock::now() + STOP_PATIENCE;
    for (uint32_t word = record.word.load(); (word & PARKED) == 0; word = record.word.load()) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) {
            return;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{static_cast<time_t>(seconds.count()),
                               static_cast<long>((left - seconds).count())};
        futex(record.word, FUTEX_WAIT_PRIVATE, word, &timeout);
    }
}

// Waits until the new thread has told its id.
void awaitThreadId(ThreadRecord& record) {
    for (uint32_t id = record.threadId.load(); id == 0; id = record.threadId.load()) {
        futex(record.threadId, FUTEX_WAIT_PRIVATE, 0, nullptr);
    }
}

} // namespace

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned (*startAddress)(void*), void* argList,
                         unsigned initFlag, unsigned* threadId) {
    if (startAddress == nullptr) {
        errno = EINVAL;
        return 0;
    }
    installSuspendHandler();
    const std::shared_ptr<ThreadRecord> record = std::make_shared<ThreadRecord>();
    if (record->endDescriptor < 0) {
        errno = EAGAIN;
        return 0;
    }
    if ((initFlag & CREATE_SUSPENDED) != 0) {
        record->word.store(1);
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes,
                                  stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize);
    }
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, krel_platform::threadSuspendSignal());
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    StartBlock* start = new StartBlock{record, startAddress, argList};
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, threadMain, start);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        errno = EAGAIN;
        return 0;
    }
    record->thread = thread;
    if (threadId != nullptr) {
        awaitThreadId(*record);
        *threadId = record->threadId.load();
    }
    return reinterpret_cast<uintptr_t>(
        krel_platform::insertHandle(std::make_shared<KernelThread>(record)));
}

DWORD SuspendThread(HANDLE thread) {
    const std::shared_ptr<ThreadRecord> record = recordOf(thread);
    if (record == nullptr) {
        return failCount(ERROR_INVALID_HANDLE);
    }
    std::unique_lock<std::mutex> lock(record->mutex);
    if (record->ended) {
        return failCount(ERROR_INVALID_HANDLE);
    }
    if ((record->word.load() & COUNT_MASK) >= MAXIMUM_SUSPEND_COUNT) {
        return failCount(ERROR_SIGNAL_REFUSED);
    }
    const uint32_t word = record->word.fetch_add(1);
    const DWORD previous = word & COUNT_MASK;
    if (previous != 0 || (word & PARKED) != 0) {
        return previous;
    }
    if (pthread_equal(record->thread, pthread_self())) {
        // The handler holds this very thread until another one resumes it.
        lock.unlock();
        pthread_kill(pthread_self(), krel_platform::threadSuspendSignal());
        return previous;
    }
    pthread_kill(record->thread, krel_platform::threadSuspendSignal());
    awaitStopped(*record);
    return previous;
}

DWORD ResumeThread(HANDLE thread) {
    const std::shared_ptr<ThreadRecord> record = recordOf(thread);
    if (record == nullptr) {
        return failCount(ERROR_INVALID_HANDLE);
    }
    std::lock_guard<std::mutex> lock(record->mutex);
    if (record->ended) {
        return failCount(ERROR_INVALID_HANDLE);
    }
    if ((record->word.load() & COUNT_MASK) == 0) {
        return 0;
    }
    const DWORD previous = record->word.fetch_sub(1) & COUNT_MASK;
    if (previous == 1) {
        // Wakes the handler's sigsuspend; a thread not yet held ignores it.
        pthread_kill(record->thread, krel_platform::threadSuspendSignal());
    }
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    const std::shared_ptr<ThreadRecord> record = recordOf(thread);
    if (record == nullptr || exitCode == nullptr) {
        SetLastError(record == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = record->exitCode.load();
    return TRUE;
}

namespace krel_platform {

int threadSuspendSignal() {
    return SIGRTMIN + 3;
}

} // namespace krel_platform
