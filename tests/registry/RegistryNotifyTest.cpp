// One-shot change notifications of registry keys, from this process and from another one.
#include <atomic>
#include <thread>
#include <vector>

#include "RegistryTestSupport.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"

namespace {

// Generous: a notification from another process takes well under a millisecond.
constexpr DWORD PATIENCE_MS = 5000;

class RegistryNotifyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        key = createKey(L"Software\\Watched");
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        marker = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }

    void TearDown() override {
        CloseHandle(event);
        CloseHandle(marker);
        RegistryTest::TearDown();
    }

    LSTATUS arm(HKEY watched, HANDLE signalled) {
        return RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_LAST_SET, signalled, TRUE);
    }

    bool signalled(HANDLE handle, DWORD timeoutMs = 0) {
        return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
    }

    // Arms a second key and has the tool write to it, so that once its event is signalled the
    // notifier has seen every earlier change too.
    void passMarkerThroughAnotherProcess() {
        const HKEY markerKey = createKey(L"Software\\Marker");
        ASSERT_EQ(arm(markerKey, marker), ERROR_SUCCESS);
        ASSERT_EQ(runTool({"write", "HKCU\\Software\\Marker", "m", "REG_DWORD", "1"}), 0);
        ASSERT_TRUE(signalled(marker, PATIENCE_MS));
    }

    HKEY key = nullptr;
    HANDLE event = nullptr;
    HANDLE marker = nullptr;
};

TEST_F(RegistryNotifyTest, ValueSetInThisProcessSignalsAtOnce) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);
    ASSERT_FALSE(signalled(event));

    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(event));
}

TEST_F(RegistryNotifyTest, ValueSetThroughAnotherHandleOnAnotherThreadSignals) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    std::thread writer([] {
        HKEY other = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\WATCHED", 0, KEY_SET_VALUE, &other),
                  ERROR_SUCCESS);
        EXPECT_EQ(setNumber(other, L"n", 1), ERROR_SUCCESS);
        RegCloseKey(other);
    });
    writer.join();
    EXPECT_TRUE(signalled(event));
}

TEST_F(RegistryNotifyTest, ValueDeletionSignals) {
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(RegDeleteValueW(key, L"v"), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(event));
}

TEST_F(RegistryNotifyTest, KeyDeletionSignals) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, L"Software"), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(event));
}

TEST_F(RegistryNotifyTest, ClosingTheArmedHandleSignalsAndEndsTheRegistration) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Watched", 0, KEY_NOTIFY, &handle),
              ERROR_SUCCESS);
    ASSERT_EQ(arm(handle, event), ERROR_SUCCESS);
    ASSERT_FALSE(signalled(event));

    ASSERT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(event));
    ASSERT_TRUE(ResetEvent(event));
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    EXPECT_FALSE(signalled(event));
}

TEST_F(RegistryNotifyTest, RegistrationIsOneShot) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"v", L"first"), ERROR_SUCCESS);
    ASSERT_TRUE(signalled(event));
    ASSERT_TRUE(ResetEvent(event));

    ASSERT_EQ(setString(key, L"v", L"second"), ERROR_SUCCESS);
    passMarkerThroughAnotherProcess();
    EXPECT_FALSE(signalled(event));
}

TEST_F(RegistryNotifyTest, SubkeyChangesAndOtherKeysDoNotSignal) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(setString(createKey(L"Software\\Watched\\Child"), L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(setString(createKey(L"Software\\Sibling"), L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Watched\\Child", "w", "REG_DWORD", "2"}), 0);
    passMarkerThroughAnotherProcess();
    EXPECT_FALSE(signalled(event));
}

TEST_F(RegistryNotifyTest, ValueWrittenByAnotherProcessSignals) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Watched", "fromTool", "REG_SZ", "hello"}), 0);
    EXPECT_TRUE(signalled(event, PATIENCE_MS));
    EXPECT_EQ(readString(key, L"fromTool"), L"hello");
}

TEST_F(RegistryNotifyTest, ValueDeletedByAnotherProcessSignals) {
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"delete-value", "HKCU\\Software\\Watched", "v"}), 0);
    EXPECT_TRUE(signalled(event, PATIENCE_MS));
}

TEST_F(RegistryNotifyTest, KeyDeletedByAnotherProcessSignals) {
    ASSERT_EQ(arm(key, event), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Watched"}), 0);
    EXPECT_TRUE(signalled(event, PATIENCE_MS));
}

// This process's own writes need no look by the notifier; another process's write among them
// does, round after round.
TEST_F(RegistryNotifyTest, ValuesWrittenByAnotherProcessAmidThisProcesssWritesSignal) {
    const HKEY busy = createKey(L"Software\\Busy");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (DWORD round = 0; round < 1000000 && !stop; ++round) {
            ASSERT_EQ(setNumber(busy, L"round", round), ERROR_SUCCESS);
        }
    });

    for (int round = 0; round < 8; ++round) {
        ResetEvent(event);
        ASSERT_EQ(arm(key, event), ERROR_SUCCESS);
        ASSERT_EQ(
            runTool({"write", "HKCU\\Software\\Watched", "v", "REG_DWORD", std::to_string(round)}),
            0);
        EXPECT_TRUE(signalled(event, PATIENCE_MS)) << "round " << round;
    }
    stop = true;
    writer.join();
}

TEST_F(RegistryNotifyTest, BurstOfWritesByOtherProcessesSignalsEveryWatchedKey) {
    constexpr int keys = 8;
    std::vector<HANDLE> events;
    for (int i = 0; i < keys; ++i) {
        events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        const HKEY watched = createKey(L"Software\\Burst\\k" + std::to_wstring(i));
        ASSERT_EQ(arm(watched, events.back()), ERROR_SUCCESS);
    }

    std::vector<pid_t> writers;
    for (int i = 0; i < keys; ++i) {
        writers.push_back(
            spawn({KREL_ADMIN_TOOL, "write", "HKCU\\Software\\Burst\\k" + std::to_string(i), "v",
                   "REG_DWORD", "1"},
                  nullptr));
    }
    for (pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < keys; ++i) {
        EXPECT_TRUE(signalled(events[i], PATIENCE_MS)) << "key k" << i;
        CloseHandle(events[i]);
    }
}

TEST_F(RegistryNotifyTest, MachineHiveIsWatchedToo) {
    const HKEY machineKey = createKey(L"Software\\Watched", KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    ASSERT_EQ(arm(machineKey, event), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"write", "HKLM\\Software\\Watched", "v", "REG_DWORD", "3"}), 0);
    EXPECT_TRUE(signalled(event, PATIENCE_MS));
}

TEST_F(RegistryNotifyTest, UnsupportedArgumentsAreInvalidParameters) {
    EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, FALSE),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, TRUE),
              ERROR_INVALID_HANDLE);
}

} // namespace
