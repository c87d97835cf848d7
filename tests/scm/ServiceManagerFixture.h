// A registry of its own for each test, the helper service program, and the service names and
// record files the tests give it.
#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/WinBase.h"
#include "platform/WinProcess.h"
#include "platform/WinService.h"
#include "platform/WinSync.h"
#include "registry/RegistryTestSupport.h"
#include "support/ModulePaths.h"

class ServiceManagerTest : public RegistryTest {
protected:
    // Generous: a wait that fails only when something is wrong.
    static constexpr DWORD PATIENCE_MS = 20000;

    void SetUp() override {
        RegistryTest::SetUp();
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
    }

    void TearDown() override {
        for (SC_HANDLE service : services) {
            // A stop sent before the service left START_PENDING is lost, as on Windows.
            leaveStartPending(service);
            SERVICE_STATUS status{};
            krel_platform::controlServiceAsSystem(service, SERVICE_CONTROL_STOP, &status);
            CloseServiceHandle(service);
        }
        for (HANDLE process : processes) {
            WaitForSingleObject(process, PATIENCE_MS);
            CloseHandle(process);
        }
        CloseServiceHandle(manager);
        RegistryTest::TearDown();
    }

    // Waits until the service is no longer starting (or the patience ran out).
    static void leaveStartPending(SC_HANDLE service) {
        const DWORD deadline = GetTickCount() + PATIENCE_MS;
        SERVICE_STATUS status{};
        while (QueryServiceStatus(service, &status) &&
               status.dwCurrentState == SERVICE_START_PENDING &&
               static_cast<int>(deadline - GetTickCount()) > 0) {
            std::this_thread::yield();
        }
    }

    static std::string helperPath() {
        const std::wstring self = krel_test::selfPath();
        return krel_platform::wideToUtf8(self.substr(0, self.find_last_of(L'/'))) +
               "/helpers/krel_service_child";
    }

    // The service on the application frame.
    static std::string framePath() {
        const std::wstring self = krel_test::selfPath();
        return krel_platform::wideToUtf8(self.substr(0, self.find_last_of(L'/'))) +
               "/helpers/krel_frame_service";
    }

    // A name no other test run uses: the services' sockets are seen machine-wide, and a
    // service may outlive the test program whose pid named it, so the clock joins the pid.
    static std::wstring uniqueName() {
        static std::atomic<int> counter(0);
        static const auto started = std::chrono::steady_clock::now().time_since_epoch().count();
        return L"KrelTestService-" + std::to_wstring(getpid()) + L"-" + std::to_wstring(started) +
               L"-" + std::to_wstring(++counter);
    }

    std::string recordFile() const { return (root / "record.txt").string(); }

    // The helper's command line for a service of the given name.
    std::wstring helperCommand(const std::wstring& name, const std::string& extra = "") const {
        return krel_platform::utf8ToWide(helperPath() + " " + recordFile() + " ") + name +
               krel_platform::utf8ToWide(extra.empty() ? "" : " " + extra);
    }

    // Creates the service; it is stopped (as the system would) at the end of the test.
    SC_HANDLE create(const std::wstring& name, const std::wstring& command) {
        SC_HANDLE service =
            CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(service, nullptr) << GetLastError();
        if (service != nullptr) {
            services.push_back(service);
        }
        return service;
    }

    // Starts the service and keeps a handle of its process, which the test end waits for.
    void startService(SC_HANDLE service) {
        ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, recordedPid());
        ASSERT_NE(process, nullptr);
        processes.push_back(process);
    }

    std::vector<std::string> recordLines() const {
        std::ifstream input(recordFile());
        std::vector<std::string> lines;
        for (std::string line; std::getline(input, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // Waits until the record holds at least the given number of lines; the lines then.
    std::vector<std::string> recordOfAtLeast(size_t count) const {
        const DWORD deadline = GetTickCount() + PATIENCE_MS;
        std::vector<std::string> lines = recordLines();
        while (lines.size() < count && static_cast<int>(deadline - GetTickCount()) > 0) {
            std::this_thread::yield();
            lines = recordLines();
        }
        return lines;
    }

    DWORD recordedPid() const {
        for (const std::string& line : recordLines()) {
            if (line.compare(0, 4, "pid ") == 0) {
                return static_cast<DWORD>(std::stoul(line.substr(4)));
            }
        }
        return 0;
    }

    // Waits until the service's process has ended.
    bool processEnded() {
        return !processes.empty() &&
               WaitForSingleObject(processes.back(), PATIENCE_MS) == WAIT_OBJECT_0;
    }

    SC_HANDLE manager = nullptr;
    std::vector<SC_HANDLE> services;
    std::vector<HANDLE> processes;
};
