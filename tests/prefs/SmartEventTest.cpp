#include "thread/SmartEvent.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"
#include "support/AddressSpaceLimit.h"
#include "support/ChildWithLimit.h"

using krel_std::SmartEvent;

namespace {

TEST(SmartEventTest, ManualResetEventStaysSignalledUntilReset) {
    SmartEvent event(true, true);
    ASSERT_NE(nullptr, event.getHandle());

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.getHandle(), 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.getHandle(), 0));
    ResetEvent(event.getHandle());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event.getHandle(), 0));
}

TEST(SmartEventTest, DestructionClosesTheHandle) {
    HANDLE handle = nullptr;
    {
        SmartEvent event(true, false);
        handle = event.getHandle();
        ASSERT_NE(nullptr, handle);
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEvent(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(SmartEventTest, FailedCreationLeavesANullHandleThatIsNotClosed) {
    if (krel_test::addressSanitizerActive()) {
        GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
    }
    const int result = krel_test::runInChildWithLimit(RLIMIT_NOFILE, 0, [] {
        {
            SmartEvent event(true, false);
            if (event.getHandle() != nullptr) {
                return 1;
            }
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        // Closing a null handle would have set ERROR_INVALID_HANDLE.
        return GetLastError() == static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) ? 0 : 2;
    });
    EXPECT_EQ(0, result);
}

} // namespace
