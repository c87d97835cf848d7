#pragma once

#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace krel_std {
class KrelException;
} // namespace krel_std

namespace krel_std_internal {

// The facts of one machine fault in the shape of a Windows exception record: the exception
// code, its flags (non-zero: noncontinuable), the record of the fault that was being handled
// when this one was raised (or null), the address of the faulting instruction and up to 15
// parameters (for an access violation: the access kind, 0 read, 1 write, 8 execute, and the
// address accessed).
struct FaultRecord {
    static constexpr DWORD MAXIMUM_PARAMETERS = 15;

    DWORD exceptionCode;
    DWORD exceptionFlags;
    const FaultRecord* exceptionRecord;
    const void* exceptionAddress;
    DWORD numberParameters;
    uintptr_t exceptionInformation[MAXIMUM_PARAMETERS];
};

// Turns machine faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) raised on library threads into library
// exceptions: an access violation becomes KrelAccessException, anything else
// KrelRuntimeException, with the Windows exception code as the error number.
//
// One signal handler serves the process. It translates a fault only on a thread that was armed
// with installForCurrentThread and has its active flag set; every other fault (and any signal
// sent with kill) goes to the handler that was installed before, or takes the default course.
// Faults in the stack guard (stack overflow) are never translated. Faults are translated only
// where the faulting code was built with -fnon-call-exceptions and outside noexcept functions.
class FaultTranslator {
public:
    // Sets the flag for its lifetime and restores the earlier value at the end.
    class ActiveScope {
    public:
        explicit ActiveScope(bool active);
        ActiveScope(const ActiveScope&) = delete;
        ActiveScope& operator=(const ActiveScope&) = delete;
        ~ActiveScope();

    private:
        bool previous;
    };

    // Installs the process's fault handler (once; later calls do nothing), gives the calling
    // thread its alternate signal stack and records its stack guard. Idempotent per thread.
    static void installForCurrentThread();
    // Gives back what installForCurrentThread gave the calling thread and clears its flag; a
    // thread that ends without calling it has its alternate stack unmapped at its exit.
    static void releaseForCurrentThread();

    // Makes `handler` (a function, SIG_DFL or SIG_IGN) the action that receives the faults of
    // `signalNumber` that are not translated, in place of the action found at installation.
    // Installs the process's fault handler first when that has not happened yet.
    static void setUntranslatedAction(int signalNumber, void (*handler)(int));

    // Whether faults on the calling thread are translated. Set it only while the thread runs
    // library work, on a thread armed by installForCurrentThread; clear it around calls into
    // code that handles its own faults (a Java VM).
    static void setThreadActive(bool active);
    static bool isThreadActive();

    // The description text of one record: the sentence for its code, whether it is
    // continuable, the faulting address and the parameters.
    static std::wstring describe(const FaultRecord& record);

    // The exception for a record (linked records become its causes), owned by the caller.
    static krel_std::KrelException* newException(const FaultRecord& record);

    // Throws the exception for a record: KrelAccessException for an access violation,
    // KrelRuntimeException otherwise.
    [[noreturn]] static void throwFault(const FaultRecord& record);

    // The C runtime's invalid-parameter report as an exception: throws
    // KrelIllegalArgumentException "Invalid argument. Expression <...> in function ... file ...
    // line ..." with "NULL" for absent texts.
    [[noreturn]] static void invalidParameter(const wchar_t* expression, const wchar_t* function,
                                              const wchar_t* file, unsigned int line,
                                              uintptr_t reserved);
};

} // namespace krel_std_internal
