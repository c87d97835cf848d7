// A service run under a dispatcher on a thread of the test, as if the service control manager
// had started the process: its entry in the machine hive, the controls and queries that reach it
// through the service manager calls, and the log it writes, caught by a recording appender. The
// fixture of each service kind makes its service and starts the dispatcher; one dispatcher runs
// at a time per process, so each test runs its own.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/WinBase.h"
#include "platform/WinService.h"
#include "registry/RegistryTestSupport.h"
#include "support/Eventually.h"
#include "support/RecordingLogTest.h"

namespace krel_test {

class ServiceDispatcherTest : public RegistryTest {
protected:
    static constexpr auto PATIENCE = std::chrono::seconds(20);

    // Services are named "<prefix>-<process id>-<counter>", one name per test.
    explicit ServiceDispatcherTest(const wchar_t* namePrefix) : namePrefix(namePrefix) {}

    void SetUp() override {
        RegistryTest::SetUp();
        recordingLog.emplace();
        static std::atomic<int> counter(0);
        name = std::wstring(namePrefix) + L"-" + std::to_wstring(getpid()) + L"-" +
               std::to_wstring(++counter);
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        krel_platform::clearReportedServiceStates();
    }

    // The fixture of the service kind stops the dispatcher and lets its service go first.
    void TearDown() override {
        krel_platform::setServiceMarkerForTesting(nullptr);
        if (handle != nullptr) {
            CloseServiceHandle(handle);
        }
        CloseServiceHandle(manager);
        recordingLog.reset();
        RegistryTest::TearDown();
    }

    // Enters the service in the database, as its installation would.
    void createServiceEntry() {
        handle =
            CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           L"/bin/true", nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(handle, nullptr);
    }

    // Stops a dispatcher that still runs, as the system would, and waits for its thread.
    void stopDispatcher() {
        if (dispatcher.joinable()) {
            SERVICE_STATUS status{};
            krel_platform::controlServiceAsSystem(handle, SERVICE_CONTROL_STOP, &status);
            dispatcher.join();
        }
    }

    void endDispatcher() {
        if (dispatcher.joinable()) {
            dispatcher.join();
        }
    }

    // Waits until the service reports the state; false when it does not in time.
    bool reaches(DWORD state) {
        return becomesTrue(
            [&] {
                SERVICE_STATUS status{};
                return QueryServiceStatus(handle, &status) && status.dwCurrentState == state;
            },
            PATIENCE);
    }

    // Sends the control as the system would; the error it met.
    DWORD control(DWORD code) {
        SERVICE_STATUS status{};
        return krel_platform::controlServiceAsSystem(handle, code, &status) ? ERROR_SUCCESS
                                                                            : GetLastError();
    }

    // The codes of the numbered messages logged so far, in order.
    std::vector<std::wstring> loggedCodes() const {
        std::vector<std::wstring> codes;
        for (const krel_std::LogEvent& event : recordingLog->appender->events) {
            if (!event.errorId.empty()) {
                codes.push_back(event.errorId);
            }
        }
        return codes;
    }

    std::wstring name;
    SC_HANDLE manager = nullptr;
    SC_HANDLE handle = nullptr;
    std::thread dispatcher;
    std::optional<RecordingLog> recordingLog;

private:
    const wchar_t* const namePrefix;
};

} // namespace krel_test
