#include "windows/ProcessMonitorThread.h"

#include "ProcessFixture.h"
#include "platform/WinProcess.h"

using krel_std::Process;
using krel_std_internal::ProcessMonitorThread;

class ProcessMonitorThreadTest : public ProcessFixture {};

TEST_F(ProcessMonitorThreadTest, StoppedMonitorSignalsTerminationWhileProcessRuns) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process.getId());
    ASSERT_NE(nullptr, handle);
    boost::shared_ptr<krel_std::Event> termination(new krel_std::Event(false, false));
    {
        ProcessMonitorThread monitor(handle, termination);
        monitor.start();
        monitor.stopThread();
        // Stopping twice is harmless: the stop event stays open until the monitor is joined.
        monitor.stopThread();
        EXPECT_EQ(0, krel_std::Concurrency::waitForSingleObject(*termination, PATIENCE_MS));
    }
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(handle, &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    CloseHandle(handle);
}

TEST_F(ProcessMonitorThreadTest, DroppingAProcessLeavesTheProgramRunning) {
    ReadySignal ready;
    Process& process = start(L"ignore " + ready.name);
    ASSERT_TRUE(ready.await());
    const DWORD id = process.getId();
    release(process).reset();

    HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id);
    ASSERT_NE(nullptr, handle);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(handle, &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    ASSERT_TRUE(TerminateProcess(handle, 9));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(handle, PATIENCE_MS));
    ASSERT_TRUE(GetExitCodeProcess(handle, &code));
    EXPECT_EQ(9u, code);
    CloseHandle(handle);
}
