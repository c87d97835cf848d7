#include "internal/GuardedCall.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <stdexcept>
#include <string>

#include "exception/KrelIOException.h"
#include "support/CancelledCall.h"

namespace {

const std::chrono::seconds GENEROUS(10);

const wchar_t* const kContext = L"krel_test::GuardedCallTest";

std::wstring describeCall() {
    return L"The test's work";
}

bool runGuarded(void (*work)()) {
    return krel_std_internal::callGuarded(kContext, &describeCall, work);
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
        krel_std_internal::callGuarded(kContext, &describeCall,
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

} // namespace
