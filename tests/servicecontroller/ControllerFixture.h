// A service run by its controller under a dispatcher inside the test process, as if the
// service control manager had started the process, and controls sent to it through the
// service manager calls. One dispatcher runs at a time per process: each test runs its own.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exception/KrelIOException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/WinBase.h"
#include "platform/WinService.h"
#include "registry/RegistryTestSupport.h"
#include "service/AbstractService.h"
#include "support/Eventually.h"
#include "thread/Concurrency.h"

// Records its hooks, the thread each ran on, and what run() did.
class RecordingService : public krel_std::AbstractService {
public:
    explicit RecordingService(const std::wstring& name) : name(name) {}
    ~RecordingService() override { shutdownEvent.signal(); }

    std::wstring getServiceName() override { return name; }

    void run() override {
        record("run");
        runEntered.signal();
        krel_std::Concurrency::waitForSingleObject(shutdownEvent, 60000);
        record("run end");
    }

    std::vector<std::string> steps() {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }

    std::thread::id onStopThread() {
        std::lock_guard<std::mutex> lock(mutex);
        return stopThread;
    }

    void record(const std::string& step) {
        std::lock_guard<std::mutex> lock(mutex);
        recorded.push_back(step);
    }

    // Parses the program's options (after its name) as main() would.
    void parse(std::vector<const wchar_t*> arguments) {
        arguments.insert(arguments.begin(), L"program");
        argumentParser->parseArguments(static_cast<int>(arguments.size()),
                                       const_cast<wchar_t**>(arguments.data()));
    }

    bool throwOnStart = false;
    // Signalled once run() has begun on its thread.
    krel_std::Event runEntered{true, false};
    // When set, the first onStop signals stopEntered and waits for releaseStop.
    bool holdFirstStop = false;
    krel_std::Event stopEntered{false, false};
    krel_std::Event releaseStop{false, false};

protected:
    void onStart() override {
        record("onStart");
        if (throwOnStart) {
            throw krel_std::KrelIOException(L"cannot start", 5);
        }
    }

    void onStop() override {
        bool hold = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            recorded.push_back("onStop");
            stopThread = std::this_thread::get_id();
            hold = holdFirstStop;
            holdFirstStop = false;
        }
        if (hold) {
            stopEntered.signal();
            krel_std::Concurrency::waitForSingleObject(releaseStop, 60000);
        }
        shutdownEvent.signal();
    }

private:
    const std::wstring name;
    std::mutex mutex;
    std::vector<std::string> recorded;
    std::thread::id stopThread;
};

class ControllerTest : public RegistryTest {
protected:
    static constexpr auto PATIENCE = std::chrono::seconds(20);

    void SetUp() override {
        RegistryTest::SetUp();
        krel_std_internal::StaticLogTestHook::reset();
        appender.reset(new krel_test::RecordingAppender(
            boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter())));
        krel_std_internal::StaticLogTestHook::initialize(L"TestLog", {{L"memory", appender}});
        static std::atomic<int> counter(0);
        name =
            L"KrelControllerTest-" + std::to_wstring(getpid()) + L"-" + std::to_wstring(++counter);
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        handle =
            CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           L"/bin/true", nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(handle, nullptr);
        krel_platform::clearReportedServiceStates();
        service.reset(new RecordingService(name));
    }

    void TearDown() override {
        if (dispatcher.joinable()) {
            SERVICE_STATUS status{};
            krel_platform::controlServiceAsSystem(handle, SERVICE_CONTROL_STOP, &status);
            dispatcher.join();
        }
        service.reset();
        krel_platform::setServiceMarkerForTesting(nullptr);
        CloseServiceHandle(handle);
        CloseServiceHandle(manager);
        krel_std_internal::StaticLogTestHook::reset();
        RegistryTest::TearDown();
    }

    // Runs start() of the service on the dispatcher's thread, as main() would.
    void startDispatcher() {
        krel_platform::setServiceMarkerForTesting(name.c_str());
        dispatcher = std::thread([this] {
            dispatcherThread = std::this_thread::get_id();
            started = service->start();
            service->record("start returned");
        });
    }

    // Waits until the service reports the state; false when it does not in time.
    bool reaches(DWORD state) {
        return krel_test::becomesTrue(
            [&] {
                SERVICE_STATUS status{};
                return QueryServiceStatus(handle, &status) && status.dwCurrentState == state;
            },
            PATIENCE);
    }

    DWORD control(DWORD code) {
        SERVICE_STATUS status{};
        return krel_platform::controlServiceAsSystem(handle, code, &status) ? ERROR_SUCCESS
                                                                            : GetLastError();
    }

    void endDispatcher() {
        if (dispatcher.joinable()) {
            dispatcher.join();
        }
    }

    std::vector<std::wstring> loggedCodes() const {
        std::vector<std::wstring> codes;
        for (const krel_std::LogEvent& event : appender->events) {
            if (!event.errorId.empty()) {
                codes.push_back(event.errorId);
            }
        }
        return codes;
    }

    std::wstring name;
    SC_HANDLE manager = nullptr;
    SC_HANDLE handle = nullptr;
    std::unique_ptr<RecordingService> service;
    std::thread dispatcher;
    std::thread::id dispatcherThread;
    std::atomic<bool> started{true};
    boost::shared_ptr<krel_test::RecordingAppender> appender;
};
