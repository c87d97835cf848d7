#include "thread/SmartEvent.h"

#include "support/AddressSpaceLimit.h"

#include "platform/WinBase.h"
#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using krel_std::SmartEvent;

namespace {

// Runs work in a child process that has no file descriptor left to open, and answers the
// child's exit code (work's answer, 98 when it throws, -1 when the child did not end normally).
// An alarm ends a child that hangs.
int runWithoutDescriptors(const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(30);
        const rlimit none{0, 0};
        int code = setrlimit(RLIMIT_NOFILE, &none) == 0 ? 97 : 96;
        if (code == 97) {
            try {
                code = work();
            } catch (...) {
                code = 98;
            }
        }
        _exit(code);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    if (test_support::addressSanitizerActive()) {
        GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
    }
    const int result = runWithoutDescriptors([] {
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
