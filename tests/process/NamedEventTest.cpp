#include <filesystem>

#include "ProcessFixture.h"
#include "platform/EventNameServer.h"

using krel_std::Process;

class NamedEventTest : public ProcessFixture {};

TEST_F(NamedEventTest, EventHeldByAnotherProcessIsSetFromHere) {
    ReadySignal ready;
    const std::wstring name = uniqueName(L"held-there");
    Process& process = start(L"hold " + name + L" " + ready.name + L" 3");
    ASSERT_TRUE(ready.await());

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    ASSERT_TRUE(SetEvent(event));
    // The holder has set its event before SetEvent returned: this handle's waits see it.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(3, process.getExitCode());
    CloseHandle(event);
}

TEST_F(NamedEventTest, EventHeldHereIsSetByAnotherProcess) {
    const std::wstring name = uniqueName(L"held-here");
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    Process& process = start(L"set " + name);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, PATIENCE_MS));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(0, process.getExitCode());
    CloseHandle(event);
}

TEST_F(NamedEventTest, SettingANameNobodyHoldsLeavesNothingBehind) {
    const std::wstring name = uniqueName(L"unheld");
    Process::getCurrentProcess()->signalShutdown(name);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);
}

TEST_F(NamedEventTest, NameIsFreedWithItsLastHandle) {
    const std::wstring name = uniqueName(L"freed");
    HANDLE first = CreateEventW(nullptr, TRUE, TRUE, name.c_str());
    ASSERT_TRUE(CloseHandle(first));
    HANDLE second = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(second, 0));
    CloseHandle(second);
}

TEST_F(NamedEventTest, HolderThatExitsLeavesNoChannelBehind) {
    ReadySignal ready;
    const std::wstring name = uniqueName(L"exited");
    Process& process = start(L"hold " + name + L" " + ready.name + L" 3");
    ASSERT_TRUE(ready.await());
    const std::string channel = krel_platform::eventChannelPath(name);
    EXPECT_TRUE(std::filesystem::exists(channel));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(3, process.getExitCode());
    EXPECT_FALSE(std::filesystem::exists(channel));
    CloseHandle(event);
}

TEST_F(NamedEventTest, ResetFromAnotherProcessIsCarriedOutByTheHolder) {
    ReadySignal ready;
    const std::wstring name = uniqueName(L"reset-there");
    start(L"hold " + name + L" " + ready.name + L" 3");
    ASSERT_TRUE(ready.await());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);
}

TEST_F(NamedEventTest, HandleOutlivesTheHoldingProcessInItsLastState) {
    ReadySignal ready;
    const std::wstring name = uniqueName(L"outlived");
    Process& process = start(L"hold " + name + L" " + ready.name + L" 3");
    ASSERT_TRUE(ready.await());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);
}

TEST_F(NamedEventTest, ProcessOfAnotherUserGetsAnEventOfItsOwn) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root can start a process of another user";
    }
    const std::wstring name = uniqueName(L"other-user");
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    Process& process = start(L"as-nobody " + name);
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(ERROR_SUCCESS, process.getExitCode());
    CloseHandle(event);
}

TEST_F(NamedEventTest, NamesSharingALongPrefixAreSeparateEvents) {
    ReadySignal ready;
    const std::wstring prefix = uniqueName(std::wstring(100, L'L'));
    Process& process = start(L"hold " + prefix + L"A " + ready.name + L" 3");
    ASSERT_TRUE(ready.await());

    HANDLE other = CreateEventW(nullptr, TRUE, FALSE, (prefix + L"B").c_str());
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    ASSERT_TRUE(SetEvent(other));
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, (prefix + L"A").c_str());
    ASSERT_NE(nullptr, held);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(held, 0));
    ASSERT_TRUE(SetEvent(held));
    ASSERT_TRUE(awaitEnd(process));
    EXPECT_EQ(3, process.getExitCode());
    CloseHandle(held);
    CloseHandle(other);
}

TEST_F(NamedEventTest, TwoProcessesCreatingAndClosingOneNameNeverFail) {
    const std::wstring name = uniqueName(L"churned");
    Process& first = start(L"churn " + name + L" 2000");
    Process& second = start(L"churn " + name + L" 2000");
    ASSERT_TRUE(awaitEnd(first));
    ASSERT_TRUE(awaitEnd(second));
    EXPECT_EQ(0, first.getExitCode());
    EXPECT_EQ(0, second.getExitCode());
}
