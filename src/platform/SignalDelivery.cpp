#include "platform/SignalDelivery.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <vector>

#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "exception/KrelException.h"
#include "log/ContextLogMessage.h"
#include "log/StaticLog.h"
#include "platform/SwallowingCall.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "thread/Runnable.h"
#include "thread/Thread.h"

namespace krel_platform {

namespace {

const wchar_t* const DELIVERY_CONTEXT = L"krel_platform::SignalDelivery::deliver";

// The write end of the self-pipe, read by the trampoline; -1 until the pipe exists.
std::atomic<int> pipeWriteEnd{-1};

// What the signal handler does for an asynchronous signal: note the number in the pipe. A full
// pipe drops the number, as pending signals of one number merge.
void trampoline(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int fd = pipeWriteEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        ssize_t written = ::write(fd, &byte, 1);
        (void)written;
    }
    errno = savedErrno;
}

bool isFaultSignal(int signalNumber) {
    return signalNumber == SIGILL || signalNumber == SIGFPE || signalNumber == SIGSEGV ||
           signalNumber == SIGBUS;
}

bool isConsoleSignal(int signalNumber) {
    return signalNumber == SIGINT || signalNumber == SIGBREAK || signalNumber == SIGHUP ||
           signalNumber == SIGTERM;
}

DWORD controlTypeOf(int signalNumber) {
    switch (signalNumber) {
    case SIGINT:
        return CTRL_C_EVENT;
    case SIGBREAK:
        return CTRL_BREAK_EVENT;
    case SIGHUP:
        return CTRL_CLOSE_EVENT;
    default:
        return CTRL_SHUTDOWN_EVENT;
    }
}

const int CONSOLE_SIGNALS[] = {SIGINT, SIGBREAK, SIGHUP, SIGTERM};

bool isValidSignal(int signalNumber) {
    return signalNumber > 0 && signalNumber < NSIG && signalNumber != SIGKILL &&
           signalNumber != SIGSTOP;
}

bool isFunction(SignalFunction function) {
    return function != SIG_DFL && function != SIG_IGN && function != SIG_ERR;
}

void setAction(int signalNumber, void (*handler)(int), struct sigaction* previous = nullptr) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = handler == trampoline ? SA_RESTART : 0;
    sigaction(signalNumber, &action, previous);
}

// Carries out a signal's default action on the calling thread without passing through any
// handler of the library; when the process survives it (a signal ignored by default), the
// disposition and the thread's mask are put back.
void performDefaultAction(int signalNumber) {
    struct sigaction previous;
    setAction(signalNumber, SIG_DFL, &previous);
    sigset_t only;
    sigset_t mask;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &only, &mask);
    ::raise(signalNumber);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    sigaction(signalNumber, &previous, nullptr);
}

void traceThrow(int signalNumber, const std::wstring& reason) {
    if (krel_std::StaticLog::isThresholdOn(krel_std::DEBUG)) {
        krel_std::ContextLogMessage::log(krel_std::DEBUG, DELIVERY_CONTEXT, L"KrelStd", L"",
                                         krel_std::Thread::getCurrentThreadId(), KREL_SOURCE_FILE,
                                         __LINE__, L"Handler of signal %d threw: %ls", signalNumber,
                                         reason.c_str());
    }
}

// Runs work of the delivery thread: whatever it throws is traced and dropped, so the thread
// goes on with the next signal.
template <typename Work> void runGuarded(int signalNumber, Work work) {
    callSwallowing([&] { work(); },
                   [&] {
                       try {
                           throw;
                       } catch (krel_std::KrelException& e) {
                           traceThrow(signalNumber, e.toString());
                       } catch (std::exception& e) {
                           traceThrow(signalNumber, utf8ToWide(e.what()));
                       } catch (...) {
                           traceThrow(signalNumber, L"unknown exception");
                       }
                   });
}

class SignalDelivery {
public:
    static SignalDelivery& instance() {
        static SignalDelivery& delivery = *new SignalDelivery;
        return delivery;
    }

    SignalFunction setFunction(int signalNumber, SignalFunction function) {
        if (!isValidSignal(signalNumber) || function == SIG_ERR) {
            errno = EINVAL;
            return SIG_ERR;
        }
        std::lock_guard<std::mutex> guard(mutex);
        const SignalFunction previous = functionLocked(signalNumber);
        if (isFaultSignal(signalNumber)) {
            krel_std_internal::FaultTranslator::setUntranslatedAction(signalNumber, function);
        } else if (signalNumber == SIGABRT) {
            setAction(signalNumber, function);
        } else if (isFunction(function) || (consoleActive() && isConsoleSignal(signalNumber))) {
            if (!startThreadLocked()) {
                errno = ENOMEM;
                return SIG_ERR;
            }
            installTrampolineLocked(signalNumber);
        } else {
            setAction(signalNumber, function);
            trampolineSet[signalNumber] = false;
        }
        functions[signalNumber] = function;
        known[signalNumber] = true;
        return previous;
    }

    SignalFunction function(int signalNumber) {
        if (!isValidSignal(signalNumber)) {
            return SIG_ERR;
        }
        std::lock_guard<std::mutex> guard(mutex);
        return functionLocked(signalNumber);
    }

    int raiseSignal(int signalNumber) {
        if (!isValidSignal(signalNumber)) {
            errno = EINVAL;
            return -1;
        }
        SignalFunction function;
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (known[signalNumber]) {
                function = functions[signalNumber];
            } else if (trampolineSet[signalNumber]) {
                function = savedFunctionLocked(signalNumber);
            } else {
                // A disposition the library never set: the runtime's own raise gives it effect.
                return ::raise(signalNumber);
            }
        }
        runFunction(signalNumber, function);
        return 0;
    }

    BOOL setConsoleHandler(PHANDLER_ROUTINE handler, BOOL add) {
        std::lock_guard<std::mutex> guard(mutex);
        const bool wasActive = consoleActive();
        if (handler == nullptr) {
            ignoreCtrlC = add != FALSE;
        } else if (add) {
            if (!startThreadLocked()) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return FALSE;
            }
            try {
                handlers.push_back(handler);
            } catch (std::bad_alloc&) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return FALSE;
            }
        } else {
            auto found = std::find(handlers.rbegin(), handlers.rend(), handler);
            if (found == handlers.rend()) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            handlers.erase(std::next(found).base());
        }
        if (consoleActive() != wasActive) {
            if (!startThreadLocked()) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return FALSE;
            }
            for (int signalNumber : CONSOLE_SIGNALS) {
                refreshConsoleSignalLocked(signalNumber);
            }
        }
        return TRUE;
    }

    BOOL deliverConsoleEvent(DWORD controlType) {
        std::vector<PHANDLER_ROUTINE> chain;
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (controlType == CTRL_C_EVENT && ignoreCtrlC) {
                return TRUE;
            }
            chain.assign(handlers.rbegin(), handlers.rend());
        }
        for (PHANDLER_ROUTINE handler : chain) {
            if (handler(controlType)) {
                return TRUE;
            }
        }
        return FALSE;
    }

    uint64_t deliveryThreadId() const { return threadId.load(); }

    // The delivery thread's loop: one byte per signal taken.
    void run() {
        threadId.store(krel_std::Thread::getCurrentThreadId());
        for (;;) {
            unsigned char byte = 0;
            const ssize_t count = ::read(pipeReadEnd, &byte, 1);
            if (count == 1) {
                deliver(byte);
            } else if (count == 0 || errno != EINTR) {
                return;
            }
        }
    }

private:
    class DeliveryLoop : public krel_std::Runnable {
    public:
        void run() override { SignalDelivery::instance().run(); }
    };

    // A child made by fork has no delivery thread and must not share the parent's pipe, or
    // the parent would run the child's signals; it gets a pipe of its own, and its thread
    // starts when it next sets a function or console handler.
    SignalDelivery() { pthread_atfork(&lockForFork, &unlockAfterFork, &resetInChild); }

    static void lockForFork() { instance().mutex.lock(); }
    static void unlockAfterFork() { instance().mutex.unlock(); }
    static void resetInChild() {
        SignalDelivery& delivery = instance();
        delivery.thread = nullptr;
        delivery.threadId.store(0);
        if (delivery.pipeReadEnd >= 0) {
            ::close(delivery.pipeReadEnd);
            ::close(pipeWriteEnd.exchange(-1));
            delivery.pipeReadEnd = -1;
            delivery.openPipeLocked();
        }
        delivery.mutex.unlock();
    }

    bool openPipeLocked() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        fcntl(ends[1], F_SETFL, O_NONBLOCK);
        pipeReadEnd = ends[0];
        pipeWriteEnd.store(ends[1]);
        return true;
    }

    bool consoleActive() const { return !handlers.empty() || ignoreCtrlC; }

    SignalFunction functionLocked(int signalNumber) const {
        if (known[signalNumber]) {
            return functions[signalNumber];
        }
        if (trampolineSet[signalNumber]) {
            return savedFunctionLocked(signalNumber);
        }
        struct sigaction current;
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            return SIG_IGN;
        }
        return SIG_DFL;
    }

    // A signal taken for the console handlers only: the disposition found before applies when
    // no handler answers; one that wants the signal's details gets the default action.
    SignalFunction savedFunctionLocked(int signalNumber) const {
        const struct sigaction& previous = saved[signalNumber];
        return (previous.sa_flags & SA_SIGINFO) ? SIG_DFL : previous.sa_handler;
    }

    bool startThreadLocked() {
        if (thread != nullptr) {
            return true;
        }
        if (pipeReadEnd < 0 && !openPipeLocked()) {
            return false;
        }
        return callSwallowing(
            [&] {
                boost::shared_ptr<krel_std::Runnable> loop(new DeliveryLoop);
                std::unique_ptr<krel_std::Thread> started(
                    new krel_std::Thread(loop, L"KrelStd signal delivery"));
                started->setJoinOnDestruct(false);
                started->start();
                thread = started.release();
                return true;
            },
            [&] { return false; });
    }

    void installTrampolineLocked(int signalNumber) {
        if (!trampolineSet[signalNumber]) {
            setAction(signalNumber, trampoline, &saved[signalNumber]);
            trampolineSet[signalNumber] = true;
        }
    }

    // Puts the disposition of a console signal in line with the handlers and its C function.
    void refreshConsoleSignalLocked(int signalNumber) {
        if (consoleActive() || (known[signalNumber] && isFunction(functions[signalNumber]))) {
            installTrampolineLocked(signalNumber);
        } else if (trampolineSet[signalNumber]) {
            if (known[signalNumber]) {
                setAction(signalNumber, functions[signalNumber]);
            } else {
                sigaction(signalNumber, &saved[signalNumber], nullptr);
            }
            trampolineSet[signalNumber] = false;
        }
    }

    // One signal taken by the delivery thread.
    void deliver(int signalNumber) {
        bool console = false;
        {
            std::lock_guard<std::mutex> guard(mutex);
            console = consoleActive() && isConsoleSignal(signalNumber);
        }
        bool handled = false;
        if (console) {
            runGuarded(signalNumber, [&] {
                handled = deliverConsoleEvent(controlTypeOf(signalNumber)) != FALSE;
            });
        }
        if (handled) {
            return;
        }
        SignalFunction function = SIG_DFL;
        {
            std::lock_guard<std::mutex> guard(mutex);
            function =
                known[signalNumber] ? functions[signalNumber] : savedFunctionLocked(signalNumber);
        }
        runGuarded(signalNumber, [&] { runFunction(signalNumber, function); });
    }

    static void runFunction(int signalNumber, SignalFunction function) {
        if (function == SIG_IGN) {
            return;
        }
        if (function == SIG_DFL) {
            performDefaultAction(signalNumber);
            return;
        }
        function(signalNumber);
    }

    std::mutex mutex;
    SignalFunction functions[NSIG] = {};
    bool known[NSIG] = {};
    bool trampolineSet[NSIG] = {};
    struct sigaction saved[NSIG] = {};
    std::vector<PHANDLER_ROUTINE> handlers;
    bool ignoreCtrlC = false;
    krel_std::Thread* thread = nullptr;
    int pipeReadEnd = -1;
    std::atomic<uint64_t> threadId{0};
};

} // namespace

SignalFunction signal(int signalNumber, SignalFunction function) {
    return SignalDelivery::instance().setFunction(signalNumber, function);
}

int raise(int signalNumber) {
    return SignalDelivery::instance().raiseSignal(signalNumber);
}

SignalFunction signalFunction(int signalNumber) {
    return SignalDelivery::instance().function(signalNumber);
}

BOOL deliverConsoleControlEvent(DWORD controlType) {
    return SignalDelivery::instance().deliverConsoleEvent(controlType);
}

uint64_t signalDeliveryThreadId() {
    return SignalDelivery::instance().deliveryThreadId();
}

} // namespace krel_platform

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    return krel_platform::SignalDelivery::instance().setConsoleHandler(handler, add);
}
