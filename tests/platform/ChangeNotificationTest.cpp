#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "platform/FileStamp.h"
#include "platform/WinBase.h"
#include "platform/WinChangeNotify.h"
#include "platform/WinSync.h"
#include "support/TempDirectory.h"

namespace {

// Long enough for any loaded machine; a passing test never waits for it.
const DWORD GENEROUS_MS = 10000;

const DWORD NAMES = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
const DWORD WATCHER_FILTER = 0x11F;

// Change notifications of the test directory, closed after each test. Events are read in the
// order they happened, so once one notification is seen signalled, every earlier change has
// been handed to every notification: a 0 ms wait then tells for certain whether another
// notification took it.
class ChangeNotificationTest : public TempDirectoryTest {
protected:
    void TearDown() override {
        for (HANDLE handle : handles) {
            FindCloseChangeNotification(handle);
        }
        TempDirectoryTest::TearDown();
    }

    HANDLE watch(const std::string& name, DWORD filter) {
        HANDLE handle = FindFirstChangeNotificationW(path(name).c_str(), FALSE, filter);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        handles.push_back(handle);
        return handle;
    }

    static bool signalledWithin(HANDLE handle, DWORD milliseconds) {
        return WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
    }

    static DWORD failureOf(const std::wstring& path, BOOL subtree, DWORD filter) {
        SetLastError(ERROR_SUCCESS);
        HANDLE handle = FindFirstChangeNotificationW(path.c_str(), subtree, filter);
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
        return GetLastError();
    }

    std::vector<HANDLE> handles;
};

} // namespace

TEST_F(ChangeNotificationTest, CreatedFileSignalsUntilDrained) {
    HANDLE handle = watch("", WATCHER_FILTER);
    EXPECT_FALSE(signalledWithin(handle, 0));
    writeBytes("new.txt", "x");
    ASSERT_TRUE(signalledWithin(handle, GENEROUS_MS));
    EXPECT_TRUE(signalledWithin(handle, 0)) << "a wait does not take the notification";
    ASSERT_TRUE(FindNextChangeNotification(handle));
    EXPECT_FALSE(signalledWithin(handle, 0));
}

TEST_F(ChangeNotificationTest, ChangeAfterDrainSignalsAgain) {
    writeBytes("data.txt", "1");
    HANDLE handle = watch("", WATCHER_FILTER);
    ASSERT_TRUE(FindNextChangeNotification(handle));
    writeBytes("data.txt", "22");
    EXPECT_TRUE(signalledWithin(handle, GENEROUS_MS));
}

TEST_F(ChangeNotificationTest, FileNameFilterIgnoresSubdirectories) {
    HANDLE files = watch("", FILE_NOTIFY_CHANGE_FILE_NAME);
    HANDLE directories = watch("", FILE_NOTIFY_CHANGE_DIR_NAME);
    std::filesystem::create_directory(native("sub"));
    ASSERT_TRUE(signalledWithin(directories, GENEROUS_MS));
    EXPECT_FALSE(signalledWithin(files, 0));
    writeBytes("file", "");
    EXPECT_TRUE(signalledWithin(files, GENEROUS_MS));
}

TEST_F(ChangeNotificationTest, ModeChangeSignalsAttributesButNotWrites) {
    writeBytes("file", "abc");
    HANDLE attributes = watch("", FILE_NOTIFY_CHANGE_ATTRIBUTES);
    HANDLE writes = watch("", FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    std::filesystem::permissions(native("file"), std::filesystem::perms::owner_read);
    ASSERT_TRUE(signalledWithin(attributes, GENEROUS_MS));
    EXPECT_FALSE(signalledWithin(writes, 0));
}

TEST_F(ChangeNotificationTest, WaitForMultipleObjectsAnswersTheChangedDirectory) {
    std::filesystem::create_directory(native("quiet"));
    std::filesystem::create_directory(native("busy"));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE list[] = {event, watch("quiet", WATCHER_FILTER), watch("busy", WATCHER_FILTER)};
    writeBytes("busy/file", "x");
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, GENEROUS_MS), WAIT_OBJECT_0 + 2);
    CloseHandle(event);
}

TEST_F(ChangeNotificationTest, TwoPathsOfOneDirectoryShareTheWatchUntilTheLastCloses) {
    std::filesystem::create_directory(native("real"));
    std::filesystem::create_directory_symlink(native("real"), native("link"));
    HANDLE first = watch("real", WATCHER_FILTER);
    HANDLE second = watch("link", WATCHER_FILTER);
    ASSERT_TRUE(FindCloseChangeNotification(first));
    handles.erase(handles.begin());
    writeBytes("real/file", "x");
    EXPECT_TRUE(signalledWithin(second, GENEROUS_MS));
}

TEST_F(ChangeNotificationTest, WaiterIsWokenWhenAnotherThreadReadsItsChange) {
    HANDLE mine = watch("", WATCHER_FILTER);
    HANDLE theirs = watch("", WATCHER_FILTER);
    std::atomic<DWORD> theirResult{WAIT_FAILED};
    std::thread waiter([&] { theirResult = WaitForSingleObject(theirs, GENEROUS_MS); });
    writeBytes("file", "x");
    EXPECT_TRUE(signalledWithin(mine, GENEROUS_MS));
    waiter.join();
    EXPECT_EQ(theirResult.load(), WAIT_OBJECT_0);
}

TEST_F(ChangeNotificationTest, DeletedDirectoryIsLostThenWatchedAgain) {
    std::filesystem::create_directory(native("gone"));
    HANDLE handle = watch("gone", WATCHER_FILTER);
    std::filesystem::remove(native("gone"));
    ASSERT_TRUE(signalledWithin(handle, GENEROUS_MS));
    EXPECT_FALSE(FindNextChangeNotification(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(signalledWithin(handle, 0));
    std::filesystem::create_directory(native("gone"));
    ASSERT_TRUE(FindNextChangeNotification(handle));
    writeBytes("gone/file", "x");
    EXPECT_TRUE(signalledWithin(handle, GENEROUS_MS));
}

TEST_F(ChangeNotificationTest, MovedDirectoryIsLost) {
    std::filesystem::create_directory(native("old"));
    HANDLE handle = watch("old", WATCHER_FILTER);
    std::filesystem::rename(native("old"), native("new"));
    ASSERT_TRUE(signalledWithin(handle, GENEROUS_MS));
    EXPECT_FALSE(FindNextChangeNotification(handle));
    writeBytes("new/file", "x");
    std::filesystem::create_directory(native("old"));
    ASSERT_TRUE(FindNextChangeNotification(handle));
    EXPECT_FALSE(signalledWithin(handle, 0)) << "the moved directory is no longer watched";
}

TEST_F(ChangeNotificationTest, ActivityHandleTellsOfAnyChangeOnce) {
    HANDLE activity = krel_platform::createChangeActivityHandle();
    ASSERT_NE(activity, nullptr);
    HANDLE handle = watch("", WATCHER_FILTER);
    writeBytes("file", "x");
    EXPECT_TRUE(signalledWithin(activity, GENEROUS_MS));
    EXPECT_TRUE(signalledWithin(handle, 0));
    EXPECT_FALSE(signalledWithin(activity, 0)) << "auto-reset";
    CloseHandle(activity);
}

TEST_F(ChangeNotificationTest, BadRequestsFailWithTheirErrors) {
    writeBytes("plain", "x");
    EXPECT_EQ(failureOf(path(), FALSE, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(failureOf(path(), FALSE, 0x80), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(failureOf(path(), TRUE, NAMES), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(failureOf(path("missing"), FALSE, NAMES), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(failureOf(path("plain"), FALSE, NAMES), static_cast<DWORD>(ERROR_DIRECTORY));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindFirstChangeNotificationW(nullptr, FALSE, NAMES), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ChangeNotificationTest, OtherHandleKindsAreRefused) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(FindNextChangeNotification(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindCloseChangeNotification(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(event)) << "the refused close left the event open";
}

namespace {

class FileStampTest : public TempDirectoryTest {
protected:
    krel_platform::FileStamp stampOf(const std::string& name) {
        krel_platform::FileStamp stamp;
        EXPECT_TRUE(krel_platform::readFileStamp(path(name), stamp));
        return stamp;
    }

    // Sets the modification time of the file to the given one.
    void setModificationTime(const std::string& name, int64_t seconds, int64_t nanoseconds) {
        const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, native(name).c_str(), times, 0), 0);
    }
};

} // namespace

TEST_F(FileStampTest, SameSizeRewriteWithinOneSecondDiffers) {
    writeBytes("file", "aaaa");
    const krel_platform::FileStamp before = stampOf("file");
    writeBytes("file", "bbbb");
    const int64_t nanoseconds = before.modificationNanoseconds == 0 ? 1 : 0;
    setModificationTime("file", before.modificationSeconds, nanoseconds);
    EXPECT_TRUE(stampOf("file").contentDiffers(before));
}

TEST_F(FileStampTest, ReplacementByRenameDiffersWhenSizeAndTimeAgree) {
    writeBytes("file", "aaaa");
    const krel_platform::FileStamp before = stampOf("file");
    writeBytes("file.new", "bbbb");
    setModificationTime("file.new", before.modificationSeconds, before.modificationNanoseconds);
    std::filesystem::rename(native("file.new"), native("file"));
    const krel_platform::FileStamp after = stampOf("file");
    EXPECT_TRUE(after.contentDiffers(before));
    EXPECT_FALSE(after.modeDiffers(before));
}

TEST_F(FileStampTest, ModeChangeAloneLeavesContentAlone) {
    writeBytes("file", "aaaa");
    const krel_platform::FileStamp before = stampOf("file");
    std::filesystem::permissions(native("file"), std::filesystem::perms::owner_read);
    const krel_platform::FileStamp after = stampOf("file");
    EXPECT_TRUE(after.modeDiffers(before));
    EXPECT_FALSE(after.contentDiffers(before));
}

TEST_F(FileStampTest, MissingFileFails) {
    krel_platform::FileStamp stamp;
    EXPECT_FALSE(krel_platform::readFileStamp(path("missing"), stamp));
}
