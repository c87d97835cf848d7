#include "internal/GuardedCall.h"

#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdexcept>
#include <string>

#include "exception/KrelIOException.h"
#include "support/CancelledCall.h"

namespace {

const std::chrono::seconds GENEROUS(10);

const wchar_t* const CONTEXT = L"krel_test::GuardedCallTest";

std::wstring describeCall() {
    return L"The test's work";
}

bool runGuarded(void (*work)()) {
    return krel_std_internal::callGuarded(CONTEXT, &describeCall, work);
}

TEST(GuardedCallTest, AGuardedCallAnswersWhetherTheWorkCompleted) {
    EXPECT_TRUE(runGuarded([] {}));
    EXPECT_FALSE(runGuarded([] { throw krel_std::KrelIOException(L"broken"); }));
    EXPECT_FALSE(runGuarded([] { throw std::runtime_error("worn"); }));
    EXPECT_FALSE(runGuarded([] { throw 42; }));
}

TEST(GuardedCallTest, ACancellationPassesThroughAGuardedCall) {
    krel_test::CancelledCall call(GENEROUS);
    pthread_t thread;
    auto body = [](void* argument) -> void* {
        auto& inside = *static_cast<krel_test::CancelledCall*>(argument);
        krel_std_internal::callGuarded(CONTEXT, &describeCall,
                                       [&inside] { inside.enterAndAwaitCancellation(); });
        return nullptr;
    };
    ASSERT_EQ(0, pthread_create(&thread, nullptr, body, &call));
    ASSERT_TRUE(call.waitUntilEntered());
    EXPECT_TRUE(call.cancelAndWaitForEnd());
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(PTHREAD_CANCELED, result);
}

TEST(SwallowingCallTest, ACompletedCallAnswersTheWorksAnswer) {
    const int answer = krel_std_internal::callSwallowing([] { return 7; }, [] { return -1; });
    EXPECT_EQ(7, answer);
}

TEST(SwallowingCallTest, AFailedCallAnswersTheHandlersAnswer) {
    const std::wstring answer = krel_std_internal::callSwallowing(
        []() -> std::wstring { throw std::runtime_error("worn"); },
        [] { return std::wstring(L"fallback"); });
    EXPECT_EQ(L"fallback", answer);
}

TEST(SwallowingCallTest, TheHandlerSeesTheFailureByRethrowingIt) {
    std::wstring seen;
    krel_std_internal::callSwallowing([] { throw krel_std::KrelIOException(L"broken"); },
                                      [&] {
                                          try {
                                              throw;
                                          } catch (const krel_std::KrelIOException& e) {
                                              seen = e.getMessage();
                                          }
                                      });
    EXPECT_EQ(L"broken", seen);
}

TEST(SwallowingCallTest, AFailureTheHandlerRethrowsLeavesTheCall) {
    EXPECT_THROW(
        krel_std_internal::callSwallowing([] { throw std::runtime_error("worn"); }, [] { throw; }),
        std::runtime_error);
}

TEST(SwallowingCallTest, TheFormWithoutHandlerSwallowsAnyFailure) {
    EXPECT_NO_THROW(krel_std_internal::callSwallowing([] { throw 42; }));
    EXPECT_NO_THROW(
        krel_std_internal::callSwallowing([] { throw krel_std::KrelIOException(L"broken"); }));
}

struct CancelledSwallowingCall {
    krel_test::CancelledCall call{GENEROUS};
    std::atomic<bool> handled{false};
};

TEST(SwallowingCallTest, ACancellationPassesThroughWithoutReachingTheHandler) {
    CancelledSwallowingCall run;
    pthread_t thread;
    auto body = [](void* argument) -> void* {
        auto& inside = *static_cast<CancelledSwallowingCall*>(argument);
        krel_std_internal::callSwallowing([&inside] { inside.call.enterAndAwaitCancellation(); },
                                          [&inside] { inside.handled = true; });
        return nullptr;
    };
    ASSERT_EQ(0, pthread_create(&thread, nullptr, body, &run));
    ASSERT_TRUE(run.call.waitUntilEntered());
    EXPECT_TRUE(run.call.cancelAndWaitForEnd());
    void* result = nullptr;
    pthread_join(thread, &result);
    EXPECT_EQ(PTHREAD_CANCELED, result);
    EXPECT_FALSE(run.handled.load());
}

} // namespace
