// Machine faults in the work of threads started through Thread. This file is built with
// -fnon-call-exceptions (tests/CMakeLists.txt), so a fault may unwind straight out of the
// faulting instruction into a catch of the same function.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "SyncTestSupport.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelRuntimeException.h"
#include "support/DebugOutputCapture.h"
#include "thread/Thread.h"

using krel_std::KrelAccessException;
using krel_std::KrelException;
using krel_std::KrelRuntimeException;
using krel_std::Runnable;
using krel_std::Thread;

namespace {

const long SOON_MS = static_cast<long>(sync_test::SOON.count());

const std::wstring ACCESS_SENTENCE = L"The thread tried to read from or write to a virtual "
                                     L"address for which it does not have the appropriate access.";
const std::wstring DIVIDE_SENTENCE =
    L"The thread tried to divide an integer value by an integer divisor of zero.";

// Volatile, so the compiler emits the faulting instructions. The undefined-behaviour sanitizer
// would stop the faults before the machine raises them.
volatile int* volatile nullTarget = nullptr;
volatile int zeroDivisor = 0;
volatile int quotient = 0;

__attribute__((noinline, no_sanitize("undefined"))) void writeToNull() {
    *nullTarget = 1;
}

__attribute__((noinline, no_sanitize("undefined"))) void divideByZero() {
    quotient = 7 / zeroDivisor;
}

class FunctionRunnable : public Runnable {
public:
    explicit FunctionRunnable(std::function<void()> work) : work(std::move(work)) {}
    void run() override { work(); }

private:
    std::function<void()> work;
};

boost::shared_ptr<Runnable> runnable(std::function<void()> work) {
    return boost::shared_ptr<Runnable>(new FunctionRunnable(std::move(work)));
}

struct Caught {
    std::wstring className;
    std::wstring message;
    int errNum;
    uint64_t threadId;
};

// Runs `fault` three times in the work of one library thread and collects what each round
// threw as an Exception.
template <typename Exception> std::vector<Caught> faultThreeTimesOnLibraryThread(void (*fault)()) {
    std::vector<Caught> caught;
    Thread thread(runnable([&caught, fault] {
                      for (int round = 0; round < 3; ++round) {
                          try {
                              fault();
                          } catch (const Exception& e) {
                              caught.push_back(Caught{e.getClassName(), e.getMessage(),
                                                      e.getErrNum(), Thread::getCurrentThreadId()});
                          }
                      }
                  }),
                  L"faulting");
    thread.start();
    EXPECT_TRUE(thread.join(SOON_MS));
    return caught;
}

TEST(LibraryThreadFaultTest, ANullPointerWriteBecomesAnAccessExceptionEachTime) {
    std::vector<Caught> caught = faultThreeTimesOnLibraryThread<KrelAccessException>(writeToNull);

    ASSERT_EQ(3u, caught.size());
    for (const Caught& c : caught) {
        EXPECT_EQ(L"com.vandrel.exception.KrelAccessException", c.className);
        EXPECT_EQ(-1073741819, c.errNum);
        EXPECT_EQ(0u, c.message.find(ACCESS_SENTENCE)) << c.message;
        EXPECT_EQ(caught[0].threadId, c.threadId);
    }
    EXPECT_NE(Thread::getCurrentThreadId(), caught[0].threadId);
}

TEST(LibraryThreadFaultTest, AnIntegerDivisionByZeroBecomesARuntimeExceptionEachTime) {
    std::vector<Caught> caught = faultThreeTimesOnLibraryThread<KrelRuntimeException>(divideByZero);

    ASSERT_EQ(3u, caught.size());
    for (const Caught& c : caught) {
        EXPECT_EQ(L"com.vandrel.exception.KrelRuntimeException", c.className);
        EXPECT_EQ(-1073741676, c.errNum);
        EXPECT_EQ(0u, c.message.find(DIVIDE_SENTENCE)) << c.message;
        EXPECT_EQ(caught[0].threadId, c.threadId);
    }
}

TEST(LibraryThreadFaultTest, AFaultTheWorkDoesNotCatchEndsTheRunAndIsLoggedAsSTD3008) {
    krel_test::DebugOutputCapture capture;
    std::atomic<uint64_t> runId{0};
    Thread thread(runnable([&runId] {
                      runId = Thread::getCurrentThreadId();
                      writeToNull();
                  }),
                  L"unguarded");
    thread.start();
    ASSERT_TRUE(thread.join(SOON_MS));

    const std::wstring expected = L"WARN : The thread [" + std::to_wstring(runId.load()) +
                                  L":unguarded] terminated unexpectedly. Reason: " +
                                  ACCESS_SENTENCE;
    EXPECT_NE(std::wstring::npos, capture.all().find(expected)) << capture.all();

    thread.start();
    EXPECT_TRUE(thread.join(SOON_MS));
}

// The process ended through the signal's default action. Under AddressSanitizer, whose fault
// handler comes before ours, the sanitizer reports the fault and exits instead.
bool endedBySegmentationFault(int status) {
#if defined(__SANITIZE_ADDRESS__)
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        return true;
    }
#endif
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV;
}

TEST(LibraryThreadFaultTest, TheSameFaultOnAThreadTheLibraryDidNotStartTakesItsNormalCourse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Thread library(runnable([] {}), L"installs");
            library.start();
            library.join(SOON_MS);
            std::thread plain([] {
                try {
                    writeToNull();
                } catch (const KrelException&) {
                    std::_Exit(0);
                }
            });
            plain.join();
            std::_Exit(0);
        },
        endedBySegmentationFault, "");
}

} // namespace
