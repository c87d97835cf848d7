#include "internal/ThreadPimpl.h"

#include <cerrno>
#include <cstdio>
#include <sched.h>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/FaultTranslator.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelRuntimeException.h"
#include "exception/KrelUnsupportedOperationException.h"
#include "internal/GuardedCall.h"
#include "internal/MutexGuard.h"
#include "internal/PosixCalls.h"
#include "internal/ThreadIdMap.h"
#include "log/KrelLoggerSTD.h"
#include "platform/CancellationOff.h"
#include "platform/KernelMutex.h"
#include "platform/WinHandles.h"
#include "thread/Concurrency.h"

using krel_std::KrelAccessException;
using krel_std::KrelIllegalArgumentException;
using krel_std::KrelIllegalStateException;
using krel_std::KrelOutOfResourcesException;
using krel_std::KrelRuntimeException;
using krel_std::KrelUnsupportedOperationException;
using krel_std::Thread;

namespace krel_std_internal {

namespace {

const wchar_t* const THREAD_FUNC = L"krel_std_internal::ThreadPimpl::thread_func";
const int SCHEDULING_POLICY = SCHED_OTHER;

// The scheduling priorities of the default policy, computed once per process.
struct PriorityTable {
    int minimum;
    int normal;
    int maximum;

    // The default policy of Linux has a single priority: then the priority set is remembered.
    bool hasRange() const { return maximum > minimum; }

    int valueOf(Thread::ThreadPriority priority) const {
        if (priority == Thread::HIGHEST) {
            return maximum;
        }
        return priority == Thread::LOWEST ? minimum : normal;
    }
};

const PriorityTable& priorityTable() {
    static const PriorityTable table = [] {
        int minimum = sched_get_priority_min(SCHEDULING_POLICY);
        int maximum = sched_get_priority_max(SCHEDULING_POLICY);
        return PriorityTable{minimum, (minimum + maximum) / 2, maximum};
    }();
    return table;
}

// Destroys thread attributes when the scope ends, also by an exception.
class AttributesGuard {
public:
    explicit AttributesGuard(pthread_attr_t& attributes) : attributes(attributes) {}
    AttributesGuard(const AttributesGuard&) = delete;
    AttributesGuard& operator=(const AttributesGuard&) = delete;
    ~AttributesGuard() { pthread_attr_destroy(&attributes); }

private:
    pthread_attr_t& attributes;
};

// Sets policy, normal priority and the detached state, stopping at the first failure.
int setAttributes(pthread_attr_t& attributes) {
    int error = pthread_attr_setschedpolicy(&attributes, SCHEDULING_POLICY);
    if (error == 0) {
        sched_param parameters{};
        parameters.sched_priority = priorityTable().normal;
        error = pthread_attr_setschedparam(&attributes, &parameters);
    }
    if (error == 0) {
        error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    }
    return error;
}

void checkAttributesError(int error) {
    const wchar_t* context = L"krel_std_internal::ThreadPimpl::start";
    if (error == ENOSYS || error == ENOTSUP) {
        PosixCalls::raise<KrelUnsupportedOperationException>(
            context, L"The requested operation is not supported", error);
    }
    if (error == EINVAL) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            context, L"An illegal argument was specified.", error);
    }
}

// A creation failure without a mapping of its own is reported too: the thread never runs.
void checkCreateError(int error) {
    const wchar_t* context = L"krel_std_internal::ThreadPimpl::start";
    if (error == EAGAIN || error == ENOMEM) {
        PosixCalls::raise<KrelOutOfResourcesException>(
            context, L"Out of resources to create thread.", error);
    }
    if (error == EINVAL) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            context, L"The thread attributes provided are invalid.", error);
    }
    if (error == EPERM) {
        PosixCalls::raise<KrelAccessException>(
            context,
            L"The caller does not have permissions to set the required policy or priority.", error);
    }
    if (error != 0) {
        PosixCalls::raise<KrelRuntimeException>(context, L"Unable to create thread.", error);
    }
}

void checkGetPriorityError(int error) {
    const wchar_t* context = L"krel_std_internal::ThreadPimpl::getPriority";
    if (error == ENOSYS || error == ENOTSUP) {
        PosixCalls::raise<KrelUnsupportedOperationException>(
            context, L"The specified operation is not supported.", error);
    }
    if (error == ESRCH) {
        PosixCalls::raise<KrelIllegalStateException>(
            context, L"The specified thread does not exist.", error);
    }
}

void checkSetPriorityError(int error) {
    const wchar_t* context = L"krel_std_internal::ThreadPimpl::setPriority";
    if (error == EINVAL) {
        PosixCalls::raise<KrelIllegalArgumentException>(
            context, L"An invalid scheduling policy or scheduling parameter was specified.", error);
    }
    if (error == ENOSYS || error == ENOTSUP) {
        PosixCalls::raise<KrelUnsupportedOperationException>(
            context, L"The specified operation is not supported.", error);
    }
    if (error == EPERM) {
        PosixCalls::raise<KrelAccessException>(
            context,
            L"The caller does not have the appropriate permission to set the thread priority.",
            error);
    }
    if (error == ESRCH) {
        PosixCalls::raise<KrelIllegalStateException>(
            context, L"The specified thread does not exist.", error);
    }
}

void requireRunning(Thread::ThreadState state, const wchar_t* context) {
    if (state != Thread::RUNNING) {
        PosixCalls::raise<KrelIllegalStateException>(context,
                                                     L"The current thread is not running.");
    }
}

// Logs a run that ended by an exception. Cancellation is off: the run is over, and the log
// must not be cut off half-written.
void reportFailure(const std::wstring& idText, const std::wstring& name,
                   const std::wstring& reason) {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    krel_std::Singleton<krel_std::KrelLoggerSTD>::getInstance().STD3008(THREAD_FUNC, idText, name,
                                                                        reason);
}

// Runs a report; a report that fails itself is dropped, so the thread still ends normally.
template <typename Report> void reportSafely(Report report) {
    krel_std_internal::callSwallowing([&] { report(); });
}

void reportKrelException(const std::wstring& idText, const std::wstring& name,
                         const krel_std::KrelException& exception) {
    reportSafely([&] {
        std::wstring message = exception.getMessage();
        reportFailure(idText, name, message);
        KREL_INTERNAL_DEBUG(THREAD_FUNC, L"Caught exception %ls in <%ls:%ls> Thread::run",
                            message.c_str(), idText.c_str(), name.c_str());
    });
}

void reportStdException(const std::wstring& idText, const std::wstring& name,
                        const std::exception& exception) {
    reportSafely([&] {
        std::wstring reason;
        krel_std::StringUtils::sprintfStringAppend(reason, L"Caught std::exception of type %hs",
                                                   exception.what());
        reportFailure(idText, name, reason);
        KREL_INTERNAL_DEBUG(THREAD_FUNC, L"Caught exception %hs in <%ls:%ls> Thread::run",
                            exception.what(), idText.c_str(), name.c_str());
    });
}

void reportUnknownException(const std::wstring& idText, const std::wstring& name) {
    reportSafely([&] {
        reportFailure(idText, name, L"Caught unknown exception.");
        KREL_INTERNAL_DEBUG(THREAD_FUNC, L"Caught unexpected exception in <%ls:%ls> Thread::run",
                            idText.c_str(), name.c_str());
    });
}

// The new thread's answer to its starter: whether its run could be set up. The new thread
// answers once and touches the handshake no more, so the starter may let it go as soon as it
// has the answer.
class StartHandshake {
public:
    StartHandshake() : outcome(PENDING) {
        pthread_mutex_init(&mutex, nullptr);
        pthread_cond_init(&answered, nullptr);
    }
    StartHandshake(const StartHandshake&) = delete;
    StartHandshake& operator=(const StartHandshake&) = delete;
    ~StartHandshake() {
        pthread_cond_destroy(&answered);
        pthread_mutex_destroy(&mutex);
    }

    void answer(bool setUp) {
        MutexGuard guard(mutex);
        outcome = setUp ? SET_UP : FAILED;
        pthread_cond_signal(&answered);
    }

    // The wait ends: setting up waits for nothing but memory, which it gets or not. No
    // cancellation may leave the wait, as the new thread still answers into the handshake.
    bool await() {
        krel_platform::CancellationOff cancellationOff;
        MutexGuard guard(mutex);
        while (outcome == PENDING) {
            pthread_cond_wait(&answered, &mutex);
        }
        return outcome == SET_UP;
    }

private:
    enum Outcome { PENDING, SET_UP, FAILED };

    pthread_mutex_t mutex;
    pthread_cond_t answered;
    Outcome outcome;
};

// Gives back what the calling thread holds per thread, before the joiners of its run are
// released: the kernel mutexes it still owns are abandoned, so a joiner that waits for one
// takes it at once.
void releaseThreadResources() {
    krel_platform::abandonOwnedMutexes();
    krel_platform::releaseThreadWakeDescriptor();
    FaultTranslator::releaseForCurrentThread();
}

} // namespace

// What the starter hands the new thread; it lives on the starter's stack until the answer.
struct ThreadPimpl::StartContext {
    StartContext(const boost::shared_ptr<ThreadPimpl>& pimpl, unsigned int generation,
                 const std::wstring& name)
        : pimpl(pimpl), generation(generation), name(name) {}

    const boost::shared_ptr<ThreadPimpl>& pimpl;
    const unsigned int generation;
    const std::wstring& name;
    StartHandshake handshake;
};

// What a run keeps of its start.
struct ThreadPimpl::RunRecord {
    unsigned int generation = 0;
    std::wstring name;
    uint64_t id = 0;
    std::wstring idText;
};

// Records the end of a run when the run's scope ends, whether it returns or a cancellation
// unwinds it: the thread's own resources are given back, the joiners are released and the
// thread leaves the id map.
class ThreadPimpl::RunEnd {
public:
    RunEnd(ThreadPimpl& pimpl, const RunRecord& record) : pimpl(pimpl), record(record) {}
    RunEnd(const RunEnd&) = delete;
    RunEnd& operator=(const RunEnd&) = delete;

    // Cancellation is switched off first, so no cancellation can start inside the catch below.
    ~RunEnd() {
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        releaseThreadResources();
        try {
            pimpl.recordEnd(record.generation);
        } catch (...) {
            KREL_INTERNAL_DEBUG(THREAD_FUNC,
                                L"Caught unexpected exception in <%ls:%ls> locking Thread mutex.",
                                record.idText.c_str(), record.name.c_str());
            fflush(stdout);
        }
        ThreadIdMap::getInstance().remove(pthread_self());
    }

private:
    ThreadPimpl& pimpl;
    const RunRecord& record;
};

ThreadPimpl::ThreadPimpl(Thread& owner, const boost::shared_ptr<krel_std::Runnable>& runnable)
    : state(Thread::NOT_STARTED), thread(PosixCalls::nullThread()), runnable(runnable),
      owner(&owner), started(false, false), generation(0), priority(Thread::NORMAL) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

ThreadPimpl::~ThreadPimpl() {
    pthread_mutex_destroy(&mutex);
}

void ThreadPimpl::start(const boost::shared_ptr<ThreadPimpl>& pimpl, const std::wstring& name) {
    MutexGuard guard(pimpl->mutex);
    if (pimpl->state == Thread::RUNNING) {
        PosixCalls::raise<KrelIllegalStateException>(L"krel_std_internal::ThreadPimpl::start",
                                                     L"The current thread is already running!");
    }
    StartContext context(pimpl, pimpl->generation + 1, name);
    pimpl->createThread(context);
    if (!context.handshake.await()) {
        PosixCalls::raise<KrelOutOfResourcesException>(L"krel_std_internal::ThreadPimpl::start",
                                                       L"Out of resources to create thread.",
                                                       ENOMEM);
    }
    ++pimpl->generation;
    pimpl->owner->setSignaled(false);
    pimpl->started.reset();
    pimpl->state = Thread::RUNNING;
    pimpl->priority = Thread::NORMAL;
}

void ThreadPimpl::createThread(StartContext& context) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        PosixCalls::raise<KrelOutOfResourcesException>(
            L"krel_std_internal::ThreadPimpl::start",
            L"Out of resources to initialize thread attributes.", ENOMEM);
    }
    AttributesGuard guard(attributes);
    checkAttributesError(setAttributes(attributes));
    checkCreateError(pthread_create(&thread, &attributes, &ThreadPimpl::thread_func, &context));
}

void ThreadPimpl::cancel() {
    MutexGuard guard(mutex);
    if (state != Thread::RUNNING) {
        PosixCalls::raise<KrelIllegalStateException>(L"krel_std_internal::ThreadPimpl::cancel",
                                                     L"The current thread is not running!");
    }
    if (pthread_cancel(thread) == 0) {
        state = Thread::ENDED;
    }
}

Thread::ThreadState ThreadPimpl::getState() {
    MutexGuard guard(mutex);
    return state;
}

Thread::ThreadPriority ThreadPimpl::getPriority() {
    MutexGuard guard(mutex);
    requireRunning(state, L"krel_std_internal::ThreadPimpl::getPriority");
    const PriorityTable& table = priorityTable();
    if (!table.hasRange()) {
        return priority;
    }
    int policy = 0;
    sched_param parameters{};
    checkGetPriorityError(pthread_getschedparam(thread, &policy, &parameters));
    if (parameters.sched_priority == table.maximum) {
        return Thread::HIGHEST;
    }
    return parameters.sched_priority == table.minimum ? Thread::LOWEST : Thread::NORMAL;
}

void ThreadPimpl::setPriority(Thread::ThreadPriority newPriority) {
    MutexGuard guard(mutex);
    requireRunning(state, L"krel_std_internal::ThreadPimpl::setPriority");
    sched_param parameters{};
    parameters.sched_priority = priorityTable().valueOf(newPriority);
    int error = pthread_setschedparam(thread, SCHEDULING_POLICY, &parameters);
    checkSetPriorityError(error);
    if (error == 0) {
        priority = newPriority;
    }
}

uint64_t ThreadPimpl::getId() {
    pthread_t handle;
    {
        MutexGuard guard(mutex);
        if (state != Thread::RUNNING) {
            return ThreadIdMap::NO_ID;
        }
        handle = thread;
    }
    // The new thread enters the map before it signals that it has started.
    krel_std::Concurrency::waitForSingleObject(started, -1);
    return ThreadIdMap::getInstance().lookup(handle);
}

bool ThreadPimpl::isCurrentThread() {
    MutexGuard guard(mutex);
    return state == Thread::RUNNING && pthread_equal(thread, pthread_self());
}

void ThreadPimpl::releaseOwner() {
    MutexGuard guard(mutex);
    owner = nullptr;
}

void* ThreadPimpl::thread_func(void* argument) {
    // Nothing may cancel the thread before its run has been set up.
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    StartContext& context = *static_cast<StartContext*>(argument);
    // Copied before the answer, which ends the starter's context.
    const boost::shared_ptr<ThreadPimpl> pimpl = context.pimpl;
    RunRecord record;
    if (setUpRun(context, record)) {
        pimpl->runThread(record);
    }
    return nullptr;
}

// Makes everything that the run needs memory for before it begins, and answers the starter
// whether that succeeded: a failure becomes the starter's exception instead of ending the
// process. Cancellation is still off, so nothing but a failed allocation can arrive in the
// catch.
bool ThreadPimpl::setUpRun(StartContext& context, RunRecord& record) {
    try {
        record.generation = context.generation;
        record.name = context.name;
        record.id = Thread::getCurrentThreadId();
        record.idText = std::to_wstring(record.id);
        ThreadIdMap::getInstance().put(pthread_self(), record.id);
    } catch (...) {
        context.handshake.answer(false);
        return false;
    }
    context.handshake.answer(true);
    return true;
}

void ThreadPimpl::runThread(const RunRecord& record) {
    RunEnd end(*this, record);
    krel_std_internal::callSwallowing(
        [&] {
            krel_std::KrelException::installHandler();
            Thread* target = announceStart();
            pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
            pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
            pthread_testcancel();
            runWork(target);
        },
        [&] {
            try {
                throw;
            } catch (const krel_std::KrelException& exception) {
                reportKrelException(record.idText, record.name, exception);
            } catch (const std::exception& exception) {
                reportStdException(record.idText, record.name, exception);
            } catch (...) {
                reportUnknownException(record.idText, record.name);
            }
        });
}

Thread* ThreadPimpl::announceStart() {
    MutexGuard guard(mutex);
    started.signal();
    return owner;
}

// A Thread destroyed before its run began no longer runs its own run(); its Runnable still
// runs, as the implementation holds it.
void ThreadPimpl::runWork(Thread* target) {
    FaultTranslator::ActiveScope active(true);
    if (target != nullptr) {
        target->run();
    } else if (runnable) {
        runnable->run();
    }
}

void ThreadPimpl::recordEnd(unsigned int runGeneration) {
    MutexGuard guard(mutex);
    if (runGeneration != generation) {
        return;
    }
    started.signal();
    if (owner != nullptr) {
        state = Thread::ENDED;
        owner->signal();
    }
}

} // namespace krel_std_internal
