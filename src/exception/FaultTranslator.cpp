#include "exception/FaultTranslator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iomanip>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <signal.h>
#include <sstream>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include "base/StringUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelRuntimeException.h"
#include "platform/ThreadExitKey.h"

namespace krel_std_internal {

namespace {

using krel_std::KrelException;

const DWORD ACCESS_VIOLATION = 0xC0000005;
const DWORD ARRAY_BOUNDS_EXCEEDED = 0xC000008C;
const DWORD FLOAT_DIVIDE_BY_ZERO = 0xC000008E;
const DWORD FLOAT_INEXACT_RESULT = 0xC000008F;
const DWORD FLOAT_INVALID_OPERATION = 0xC0000090;
const DWORD FLOAT_OVERFLOW = 0xC0000091;
const DWORD FLOAT_UNDERFLOW = 0xC0000093;
const DWORD INTEGER_DIVIDE_BY_ZERO = 0xC0000094;
const DWORD INTEGER_OVERFLOW = 0xC0000095;
const DWORD ILLEGAL_INSTRUCTION = 0xC000001D;
const DWORD PRIVILEGED_INSTRUCTION = 0xC0000096;

const size_t ALTERNATE_STACK_SIZE = 64 * 1024;
const int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

struct CodeSentence {
    DWORD code;
    const wchar_t* sentence;
};

const CodeSentence SENTENCES[] = {
    {ACCESS_VIOLATION, L"The thread tried to read from or write to a virtual address for which it "
                       L"does not have the appropriate access."},
    {0x80000002, L"The thread tried to read or write data that is misaligned on hardware that does "
                 L"not provide alignment. For example, 16-bit values must be aligned on 2-byte "
                 L"boundaries; 32-bit values on 4-byte boundaries, and so on."},
    {0x80000003, L"A breakpoint was encountered."},
    {0x80000004, L"A trace trap or other single-instruction mechanism signaled that one "
                 L"instruction has been executed."},
    {0xC0000006, L"The thread tried to access a page that was not present, and the system was "
                 L"unable to load the page. For example, this exception might occur if a network "
                 L"connection is lost while running a program over the network."},
    {ILLEGAL_INSTRUCTION, L"The thread tried to execute an invalid instruction."},
    {0xC0000025, L"The thread tried to continue execution after a noncontinuable exception "
                 L"occurred."},
    {0xC0000026, L"An exception handler returned an invalid disposition to the exception "
                 L"dispatcher. Programmers using a high-level language such as C should never "
                 L"encounter this exception."},
    {ARRAY_BOUNDS_EXCEEDED,
     L"The thread tried to access an array element that is out of bounds and "
     L"the underlying hardware supports bounds checking."},
    {0xC000008D, L"One of the operands in a floating-point operation is denormal. A denormal value "
                 L"is one that is too small to represent as a standard floating-point value."},
    {FLOAT_DIVIDE_BY_ZERO, L"The thread tried to divide a floating-point value by a floating-point "
                           L"divisor of zero."},
    {FLOAT_INEXACT_RESULT,
     L"The result of a floating-point operation cannot be represented exactly "
     L"as a decimal fraction."},
    {FLOAT_INVALID_OPERATION,
     L"This exception represents any floating-point exception not included "
     L"in this list."},
    {FLOAT_OVERFLOW, L"The exponent of a floating-point operation is greater than the magnitude "
                     L"allowed by the corresponding type."},
    {0xC0000092, L"The stack overflowed or underflowed as the result of a floating-point "
                 L"operation."},
    {FLOAT_UNDERFLOW, L"The exponent of a floating-point operation is less than the magnitude "
                      L"allowed by the corresponding type."},
    {INTEGER_DIVIDE_BY_ZERO,
     L"The thread tried to divide an integer value by an integer divisor of "
     L"zero."},
    {INTEGER_OVERFLOW, L"The result of an integer operation caused a carry out of the most "
                       L"significant bit of the result."},
    {PRIVILEGED_INSTRUCTION, L"The thread tried to execute an instruction whose operation is not "
                             L"allowed in the current machine mode."},
    {0xC00000FD, L"The thread used up its stack."},
};

// Whether the calling thread's faults are translated. The handler reads it, so it is a plain
// bool in the static TLS block: reading it never calls into the dynamic linker.
thread_local bool threadActive __attribute__((tls_model("initial-exec"))) = false;
thread_local bool threadArmed __attribute__((tls_model("initial-exec"))) = false;
// The calling thread's stack guard, [guardLow, guardHigh): faults there are stack overflows.
thread_local uintptr_t guardLow __attribute__((tls_model("initial-exec"))) = 0;
thread_local uintptr_t guardHigh __attribute__((tls_model("initial-exec"))) = 0;

// The actions installed before ours, by signal number; written once before ours is installed.
struct sigaction previousActions[NSIG];

// The calling thread's alternate signal stack, so that the handler can run when the fault left
// no room on the thread's own stack; null while the thread has none of ours.
thread_local void* alternateStack = nullptr;

// Disables the calling thread's alternate signal stack if it is `memory`, then unmaps it.
void unmapAlternateStack(void* memory) {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory) {
        stack_t disabled = stack_t();
        disabled.ss_flags = SS_DISABLE;
        sigaltstack(&disabled, nullptr);
    }
    munmap(memory, ALTERNATE_STACK_SIZE);
}

krel_platform::ThreadExitKey& alternateStackKey() {
    static krel_platform::ThreadExitKey& key =
        *new krel_platform::ThreadExitKey(&unmapAlternateStack);
    return key;
}

// Keeps an alternate stack that someone else already gave the thread. A stack that cannot be
// attached to the thread's end is kept all the same; a library thread still gives it back when
// its run ends.
void installAlternateStack() {
    stack_t current;
    if (alternateStack ||
        (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))) {
        return;
    }
    void* block = mmap(nullptr, ALTERNATE_STACK_SIZE, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (block == MAP_FAILED) {
        return;
    }
    stack_t stack = stack_t();
    stack.ss_sp = block;
    stack.ss_size = ALTERNATE_STACK_SIZE;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(block, ALTERNATE_STACK_SIZE);
        return;
    }
    alternateStack = block;
    alternateStackKey().attach(block);
}

void recordStackGuard() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
        return;
    }
    void* stackLow = nullptr;
    size_t stackSize = 0;
    size_t guardSize = 0;
    pthread_attr_getstack(&attributes, &stackLow, &stackSize);
    pthread_attr_getguardsize(&attributes, &guardSize);
    pthread_attr_destroy(&attributes);
    const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    guardHigh = reinterpret_cast<uintptr_t>(stackLow);
    guardLow = guardHigh - std::min<uintptr_t>(guardHigh, std::max(guardSize, pageSize));
}

bool inStackGuard(const void* address) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    return value >= guardLow && value < guardHigh;
}

DWORD floatingPointCode(int code) {
    switch (code) {
    case FPE_INTDIV:
        return INTEGER_DIVIDE_BY_ZERO;
    case FPE_INTOVF:
        return INTEGER_OVERFLOW;
    case FPE_FLTDIV:
        return FLOAT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF:
        return FLOAT_OVERFLOW;
    case FPE_FLTUND:
        return FLOAT_UNDERFLOW;
    case FPE_FLTRES:
        return FLOAT_INEXACT_RESULT;
    case FPE_FLTSUB:
        return ARRAY_BOUNDS_EXCEEDED;
    default:
        return FLOAT_INVALID_OPERATION;
    }
}

DWORD exceptionCodeFor(int signalNumber, int code) {
    switch (signalNumber) {
    case SIGFPE:
        return floatingPointCode(code);
    case SIGILL:
        return code == ILL_PRVOPC || code == ILL_PRVREG ? PRIVILEGED_INSTRUCTION
                                                        : ILLEGAL_INSTRUCTION;
    default:
        return ACCESS_VIOLATION;
    }
}

const void* instructionAddress(const siginfo_t* info, const ucontext_t* context) {
#if defined(__x86_64__)
    (void)info;
    return reinterpret_cast<const void*>(context->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    (void)info;
    return reinterpret_cast<const void*>(context->uc_mcontext.pc);
#else
    (void)context;
    return info->si_addr;
#endif
}

// The access kind of an access violation: 0 read, 1 write, 8 instruction fetch, taken from the
// page-fault error code where the machine reports one.
uintptr_t accessKind(const ucontext_t* context) {
#if defined(__x86_64__)
    const greg_t pageFaultTrap = 14;
    const greg_t writeBit = 0x2;
    const greg_t fetchBit = 0x10;
    if (context->uc_mcontext.gregs[REG_TRAPNO] != pageFaultTrap) {
        return 0;
    }
    const greg_t error = context->uc_mcontext.gregs[REG_ERR];
    return (error & fetchBit) ? 8 : (error & writeBit) ? 1 : 0;
#else
    (void)context;
    return 0;
#endif
}

FaultRecord recordFor(int signalNumber, const siginfo_t* info, const ucontext_t* context) {
    FaultRecord record = FaultRecord();
    record.exceptionCode = exceptionCodeFor(signalNumber, info->si_code);
    record.exceptionAddress = instructionAddress(info, context);
    if (record.exceptionCode == ACCESS_VIOLATION) {
        record.numberParameters = 2;
        record.exceptionInformation[0] = accessKind(context);
        record.exceptionInformation[1] = reinterpret_cast<uintptr_t>(info->si_addr);
    }
    return record;
}

void restoreDefault(int signalNumber) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

// Hands a fault that is not ours to the action installed before ours. A real fault under the
// default action repeats on return and ends the process as usual; a signal sent with kill is
// sent again under the default action, or dropped when it was ignored.
void passOn(int signalNumber, siginfo_t* info, void* context) {
    const struct sigaction& previous = previousActions[signalNumber];
    // SIG_DFL and SIG_IGN share the union with sa_sigaction: test them before calling anything,
    // whatever SA_SIGINFO says.
    const bool sentByProcess = info->si_code <= 0;
    if (previous.sa_handler == SIG_IGN && sentByProcess) {
        return;
    }
    if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        restoreDefault(signalNumber);
        if (sentByProcess) {
            raise(signalNumber);
        }
        return;
    }
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signalNumber, info, context);
        return;
    }
    previous.sa_handler(signalNumber);
}

void onFault(int signalNumber, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    if (threadActive && info->si_code > 0 && !inStackGuard(info->si_addr)) {
        const ucontext_t* machine = static_cast<const ucontext_t*>(context);
        // The throw leaves the handler without sigreturn: put back the interrupted mask.
        pthread_sigmask(SIG_SETMASK, &machine->uc_sigmask, nullptr);
        const FaultRecord record = recordFor(signalNumber, info, machine);
        errno = savedErrno;
        FaultTranslator::throwFault(record);
    }
    passOn(signalNumber, info, context);
    errno = savedErrno;
}

void installProcessHandler() {
    for (int signalNumber : FAULT_SIGNALS) {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) != 0) {
            continue;
        }
        previousActions[signalNumber] = previous;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = onFault;
        action.sa_mask = previous.sa_mask;
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK | (previous.sa_flags & SA_RESTART);
        sigaction(signalNumber, &action, nullptr);
    }
}

void ensureProcessHandler() {
    static std::once_flag processHandlerInstalled;
    std::call_once(processHandlerInstalled, installProcessHandler);
}

const wchar_t* sentenceFor(DWORD code) {
    for (const CodeSentence& entry : SENTENCES) {
        if (entry.code == code) {
            return entry.sentence;
        }
    }
    return L"Win32 exception";
}

template <typename T>
KrelException* makeException(const std::wstring& message, int errNum, const KrelException* cause) {
    return cause ? new T(message, errNum, *cause) : new T(message, errNum);
}

} // namespace

FaultTranslator::ActiveScope::ActiveScope(bool active) : previous(isThreadActive()) {
    setThreadActive(active);
}

FaultTranslator::ActiveScope::~ActiveScope() {
    setThreadActive(previous);
}

void FaultTranslator::installForCurrentThread() {
    ensureProcessHandler();
    if (threadArmed) {
        return;
    }
    installAlternateStack();
    recordStackGuard();
    threadArmed = true;
}

void FaultTranslator::setUntranslatedAction(int signalNumber, void (*handler)(int)) {
    ensureProcessHandler();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // The handler reads the entry: keep this thread's own faults of the number out meanwhile.
    sigset_t only;
    sigset_t mask;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    pthread_sigmask(SIG_BLOCK, &only, &mask);
    previousActions[signalNumber] = action;
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
}

void FaultTranslator::releaseForCurrentThread() {
    threadActive = false;
    threadArmed = false;
    if (alternateStack) {
        alternateStackKey().detach();
        unmapAlternateStack(alternateStack);
        alternateStack = nullptr;
    }
}

void FaultTranslator::setThreadActive(bool active) {
    if (active && !threadArmed) {
        installForCurrentThread();
    }
    threadActive = active;
}

bool FaultTranslator::isThreadActive() {
    return threadActive;
}

std::wstring FaultTranslator::describe(const FaultRecord& record) {
    std::wostringstream text;
    text << sentenceFor(record.exceptionCode)
         << (record.exceptionFlags != 0 ? L" Noncontinuable exception."
                                        : L" Continuable exception.")
         << L" ExceptionAddress = " << std::uppercase << std::hex << std::setfill(L'0')
         << std::setw(8) << reinterpret_cast<uintptr_t>(record.exceptionAddress) << std::nouppercase
         << std::setfill(L' ') << L". NumberParameters = " << record.numberParameters << L".";
    const DWORD count = std::min(record.numberParameters, FaultRecord::MAXIMUM_PARAMETERS);
    for (DWORD index = 0; index < count; ++index) {
        text << L" Param " << index << L" value = " << record.exceptionInformation[index] << L".";
    }
    return text.str();
}

KrelException* FaultTranslator::newException(const FaultRecord& record) {
    std::unique_ptr<KrelException> cause(
        record.exceptionRecord ? newException(*record.exceptionRecord) : nullptr);
    const std::wstring message = describe(record);
    const int errNum = static_cast<int>(record.exceptionCode);
    if (record.exceptionCode == ACCESS_VIOLATION) {
        return makeException<krel_std::KrelAccessException>(message, errNum, cause.get());
    }
    return makeException<krel_std::KrelRuntimeException>(message, errNum, cause.get());
}

void FaultTranslator::throwFault(const FaultRecord& record) {
    std::unique_ptr<KrelException> exception(newException(record));
    if (record.exceptionCode == ACCESS_VIOLATION) {
        throw static_cast<krel_std::KrelAccessException&>(*exception);
    }
    throw static_cast<krel_std::KrelRuntimeException&>(*exception);
}

void FaultTranslator::invalidParameter(const wchar_t* expression, const wchar_t* function,
                                       const wchar_t* file, unsigned int line,
                                       uintptr_t /*reserved*/) {
    std::wostringstream text;
    text << L"Invalid argument. Expression <"
         << krel_std::StringUtils::nullCheckedString(expression) << L"> in function "
         << krel_std::StringUtils::nullCheckedString(function) << L" file "
         << krel_std::StringUtils::nullCheckedString(file) << L" line " << line;
    throw krel_std::KrelIllegalArgumentException(text.str());
}

} // namespace krel_std_internal
