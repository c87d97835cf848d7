#include <atomic>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "FunctionRunnable.h"
#include "SyncTestSupport.h"
#include "exception/KrelException.h"
#include "platform/WinSync.h"
#include "thread/Thread.h"

using krel_std::KrelException;
using krel_std::Thread;

namespace {

// Destructors of thread-local objects of the library that were registered with the C runtime.
// Such a registration needs memory, and the C runtime ends the process when it gets none.
std::atomic<int> libraryExitDestructors{0};

bool isInTheLibrary(const void* address) {
    Dl_info info;
    return dladdr(address, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "KrelStd") != nullptr;
}

typedef int (*ThreadExitRegistration)(void (*)(void*), void*, void*);

} // namespace

// Sees every registration of a thread-local destructor, then hands it on.
extern "C" int __cxa_thread_atexit(void (*destructor)(void*), void* object, void* module) noexcept {
    if (isInTheLibrary(module)) {
        ++libraryExitDestructors;
    }
    static const ThreadExitRegistration next =
        reinterpret_cast<ThreadExitRegistration>(dlsym(RTLD_NEXT, "__cxa_thread_atexit"));
    return next(destructor, object, module);
}

namespace {

const long SOON_MS = static_cast<long>(sync_test::SOON.count());

// Work that uses everything a thread may keep per thread in the library: a wait (its wake
// descriptor), a kernel mutex that it takes and still owns at its end, and the fault
// translation (its alternate signal stack).
class ThreadEndTest : public ::testing::Test {
protected:
    void TearDown() override {
        CloseHandle(mutex);
        CloseHandle(event);
    }

    std::function<void()> usingEverything() {
        return [this] {
            KrelException::installHandler();
            WaitForSingleObject(event, 0);
            WaitForSingleObject(mutex, 0);
        };
    }

    void runOnLibraryThread(const std::function<void()>& work) {
        Thread thread(sync_test::runnable(work), L"ending");
        thread.start();
        ASSERT_TRUE(thread.join(SOON_MS));
    }

    // The number of descriptors the process has open.
    static int openDescriptors() {
        int count = 0;
        if (DIR* directory = opendir("/proc/self/fd")) {
            while (readdir(directory) != nullptr) {
                ++count;
            }
            closedir(directory);
        }
        return count;
    }

    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

TEST_F(ThreadEndTest, ALibraryThreadRegistersNoThreadLocalDestructors) {
    const int before = libraryExitDestructors;
    runOnLibraryThread(usingEverything());
    EXPECT_EQ(before, libraryExitDestructors);
}

TEST_F(ThreadEndTest, AnotherThreadRegistersNoThreadLocalDestructors) {
    const int before = libraryExitDestructors;
    std::thread plain(usingEverything());
    plain.join();
    EXPECT_EQ(before, libraryExitDestructors);
}

TEST_F(ThreadEndTest, AMutexTheRunStillOwnsIsAbandonedBeforeItsJoinersAreReleased) {
    for (int round = 0; round < 200; ++round) {
        runOnLibraryThread(usingEverything());
        ASSERT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(mutex, 0)) << "round " << round;
        ASSERT_TRUE(ReleaseMutex(mutex));
    }
}

TEST_F(ThreadEndTest, ShortOtherThreadsLeaveNoDescriptorsOpen) {
    const int before = openDescriptors();
    for (int round = 0; round < 200; ++round) {
        std::thread plain(usingEverything());
        plain.join();
    }
    EXPECT_LT(openDescriptors() - before, 10);
}

} // namespace
