#include "exception/FaultTranslator.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelRuntimeException.h"
#include "platform/WinCrt.h"

using namespace krel_std;
using krel_std_internal::FaultRecord;
using krel_std_internal::FaultTranslator;

namespace {

const std::wstring ACCESS_SENTENCE = L"The thread tried to read from or write to a virtual address "
                                     L"for which it does not have the appropriate access.";
const std::wstring DIVIDE_SENTENCE =
    L"The thread tried to divide an integer value by an integer divisor of zero.";

// Faulting code lives in functions of its own without cleanups, and is called through a
// volatile pointer: the test is not built with -fnon-call-exceptions, so the exception must
// leave the faulting frame through a call that the compiler cannot prove free of exceptions.
// The undefined-behaviour sanitizer would stop the faults before the machine raises them.
volatile int* volatile nullTarget = nullptr;
volatile int zeroDivisor = 0;
volatile int quotient = 0;
volatile bool deeper = true;

__attribute__((noinline, no_sanitize("undefined"))) void writeToNull() {
    *nullTarget = 1;
}

__attribute__((noinline, no_sanitize("undefined"))) void divideByZero() {
    quotient = 7 / zeroDivisor;
}

__attribute__((noinline)) int recurseForever(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return (deeper ? recurseForever(depth + 1) : 0) + frame[0];
}

void overflowStack() {
    quotient = recurseForever(0);
}

struct Caught {
    std::wstring className;
    std::wstring message;
    int errNum;
};

// Runs `fault` three times on a fresh thread that has the translator active, and collects what
// each run threw.
template <typename Exception> std::vector<Caught> faultOnLibraryThread(void (*fault)()) {
    void (*volatile call)() = fault;
    std::vector<Caught> caught;
    std::thread worker([&] {
        KrelException::installHandler();
        FaultTranslator::ActiveScope active(true);
        for (int round = 0; round < 3; ++round) {
            try {
                call();
            } catch (const Exception& e) {
                caught.push_back(Caught{e.getClassName(), e.getMessage(), e.getErrNum()});
            }
        }
    });
    worker.join();
    return caught;
}

bool endsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The process ended through the signal's default action. Under AddressSanitizer, whose fault
// handler comes before ours, the sanitizer reports the fault and exits instead.
struct EndedBySignal {
    int signalNumber;

    bool operator()(int status) const {
#if defined(__SANITIZE_ADDRESS__)
        return (WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) ||
               (WIFEXITED(status) && WEXITSTATUS(status) != 0);
#else
        return WIFSIGNALED(status) && WTERMSIG(status) == signalNumber;
#endif
    }
};

FaultRecord record(DWORD code, DWORD flags, uintptr_t address) {
    FaultRecord result = FaultRecord();
    result.exceptionCode = code;
    result.exceptionFlags = flags;
    result.exceptionAddress = reinterpret_cast<const void*>(address);
    return result;
}

} // namespace

TEST(FaultTranslatorTest, NullWriteOnLibraryThreadBecomesAccessException) {
    const std::vector<Caught> caught = faultOnLibraryThread<KrelAccessException>(writeToNull);
    ASSERT_EQ(3u, caught.size());
    for (const Caught& c : caught) {
        EXPECT_EQ(L"com.vandrel.exception.KrelAccessException", c.className);
        EXPECT_EQ(-1073741819, c.errNum);
        EXPECT_EQ(0u,
                  c.message.find(ACCESS_SENTENCE + L" Continuable exception. ExceptionAddress = "));
        EXPECT_TRUE(endsWith(c.message, L". NumberParameters = 2. Param 0 value = 1. Param 1 "
                                        L"value = 0."))
            << c.message;
    }
}

TEST(FaultTranslatorTest, IntegerDivisionByZeroOnLibraryThreadBecomesRuntimeException) {
    const std::vector<Caught> caught = faultOnLibraryThread<KrelRuntimeException>(divideByZero);
    ASSERT_EQ(3u, caught.size());
    for (const Caught& c : caught) {
        EXPECT_EQ(L"com.vandrel.exception.KrelRuntimeException", c.className);
        EXPECT_EQ(-1073741676, c.errNum);
        EXPECT_EQ(0u, c.message.find(DIVIDE_SENTENCE + L" Continuable exception."));
        EXPECT_TRUE(endsWith(c.message, L". NumberParameters = 0.")) << c.message;
    }
}

TEST(FaultTranslatorTest, FaultOnThreadWithoutActiveTranslatorStillCrashes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            KrelException::installHandler();
            void (*volatile call)() = writeToNull;
            std::thread plain(call);
            plain.join();
        },
        EndedBySignal{SIGSEGV}, "");
}

TEST(FaultTranslatorTest, StackOverflowIsNeverTranslated) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(faultOnLibraryThread<KrelAccessException>(overflowStack), EndedBySignal{SIGSEGV},
                "");
}

TEST(FaultTranslatorTest, SignalSentByKillIsNeverTranslated) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            KrelException::installHandler();
            FaultTranslator::ActiveScope active(true);
            try {
                raise(SIGFPE);
            } catch (...) {
            }
        },
        EndedBySignal{SIGFPE}, "");
}

TEST(FaultTranslatorTest, AccessViolationTextShowsAddressAndParametersInHex) {
    FaultRecord access = record(0xC0000005, 0, 0x1234);
    access.numberParameters = 2;
    access.exceptionInformation[0] = 1;
    access.exceptionInformation[1] = 0xDEADBEEF;
    EXPECT_EQ(ACCESS_SENTENCE +
                  L" Continuable exception. ExceptionAddress = 00001234. "
                  L"NumberParameters = 2. Param 0 value = 1. Param 1 value = deadbeef.",
              FaultTranslator::describe(access));
}

TEST(FaultTranslatorTest, UnknownCodeIsAWin32Exception) {
    FaultRecord custom = record(0xE0000001, 1, 0xABCDEF12);
    custom.numberParameters = 17;
    for (uintptr_t& value : custom.exceptionInformation) {
        value = 0xAB;
    }
    std::unique_ptr<KrelException> e(FaultTranslator::newException(custom));
    EXPECT_EQ(L"com.vandrel.exception.KrelRuntimeException", e->getClassName());
    EXPECT_EQ(static_cast<int>(0xE0000001), e->getErrNum());
    EXPECT_EQ(0u, e->getMessage().find(L"Win32 exception Noncontinuable exception. "
                                       L"ExceptionAddress = ABCDEF12. NumberParameters = 11."));
    EXPECT_TRUE(endsWith(e->getMessage(), L" Param e value = ab."));
}

TEST(FaultTranslatorTest, LinkedRecordBecomesTheCause) {
    const FaultRecord earlier = record(0xC0000005, 0, 0x10);
    FaultRecord later = record(0xC0000094, 0, 0x20);
    later.exceptionRecord = &earlier;
    std::unique_ptr<KrelException> e(FaultTranslator::newException(later));
    std::unique_ptr<KrelException> cause(e->getNestedException());
    ASSERT_NE(nullptr, cause);
    EXPECT_EQ(L"com.vandrel.exception.KrelAccessException", cause->getClassName());
    EXPECT_EQ(FaultTranslator::describe(later) + L": " + FaultTranslator::describe(earlier),
              e->getMessage());
    EXPECT_THROW(FaultTranslator::throwFault(later), KrelRuntimeException);
    EXPECT_THROW(FaultTranslator::throwFault(earlier), KrelAccessException);
}

TEST(FaultTranslatorTest, InvalidParameterReportWithoutDetailsSaysNull) {
    try {
        FaultTranslator::invalidParameter(nullptr, nullptr, nullptr, 0, 0);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Invalid argument. Expression <NULL> in function NULL file NULL line 0",
                  e.getMessage());
        EXPECT_EQ(0, e.getErrNum());
    }
}

TEST(FaultTranslatorTest, InvalidParameterReportNamesExpressionFunctionFileAndLine) {
    try {
        FaultTranslator::invalidParameter(L"buffer != NULL", L"wcscpy_s", L"tcscpy_s.inl", 42, 0);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Invalid argument. Expression <buffer != NULL> in function wcscpy_s file "
                  L"tcscpy_s.inl line 42",
                  e.getMessage());
    }
}

TEST(FaultTranslatorTest, InstallHandlerSetsTheProcessInvalidParameterHandler) {
    std::thread worker([] { KrelException::installHandler(); });
    worker.join();
    const _invalid_parameter_handler handler = _get_invalid_parameter_handler();
    ASSERT_NE(nullptr, handler);
    try {
        handler(L"count > 0", L"strncpy_s", L"strncpy_s.c", 7, 0);
        FAIL() << "no exception";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(L"Invalid argument. Expression <count > 0> in function strncpy_s file "
                  L"strncpy_s.c line 7",
                  e.getMessage());
    }
}

// An ignored disposition set with SA_SIGINFO leaves the handler's union holding SIG_IGN, not a
// function: a signal sent to the process stays ignored instead of calling through it.
TEST(FaultTranslatorTest, SignalIgnoredBeforeInstallationStaysIgnored) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            struct sigaction ignore = {};
            ignore.sa_handler = SIG_IGN;
            ignore.sa_flags = SA_SIGINFO;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGILL, &ignore, nullptr);
            KrelException::installHandler();
            raise(SIGILL);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
