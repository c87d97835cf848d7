// An older-base service in the test process: its hooks recorded, its worker counting, its
// messages caught by a recording appender, and the service control dispatcher run on a thread
// of the test as if the service control manager had started the process.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/WinBase.h"
#include "platform/WinService.h"
#include "platform/WinSync.h"
#include "service/SNTServiceBase.h"
#include "support/Eventually.h"
#include "support/ServiceDispatcherTest.h"

// Counts while the test lets it; every worker that runs is counted in `live`.
struct TestWorker {
    static std::atomic<long> loops;
    static std::atomic<int> live;
    static std::atomic<int> started;
    static std::atomic<bool> end;

    static unsigned run(void*) {
        ++started;
        ++live;
        while (!end.load()) {
            loops.fetch_add(1);
            std::this_thread::yield();
        }
        --live;
        return 0;
    }
};

inline std::atomic<long> TestWorker::loops{0};
inline std::atomic<int> TestWorker::live{0};
inline std::atomic<int> TestWorker::started{0};
inline std::atomic<bool> TestWorker::end{false};

// Records its hooks; OnInit and OnUserControl answer what the test sets.
class RecordingServiceBase : public KrelStd::SNTServiceBase {
public:
    explicit RecordingServiceBase(const std::wstring& name, const std::wstring& dependencies = L"")
        : SNTServiceBase(name, &TestWorker::run, 3, 7, dependencies, SERVICE_WIN32_OWN_PROCESS,
                         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                             SERVICE_ACCEPT_SHUTDOWN) {}

    int OnInit() override {
        record("OnInit");
        if (duringInit) {
            duringInit();
        }
        SetLastError(initError);
        return initResult;
    }
    void OnStop() override {
        record("OnStop");
        runningInStop = running.load();
        statesInStop = krel_platform::reportedServiceStates();
        if (duringStop) {
            duringStop();
        }
    }
    void OnPause() override { record("OnPause"); }
    void OnContinue() override { record("OnContinue"); }
    void OnInterrogate() override { record("OnInterrogate"); }
    void OnShutdown() override { record("OnShutdown"); }
    int OnUserControl(DWORD code) override {
        record("OnUserControl " + std::to_string(code));
        return userControlResult;
    }

    std::vector<std::string> hooks() {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }

    SERVICE_STATUS currentStatus() const { return status; }
    HANDLE worker() const { return workerThread.load(); }

    int initResult = 1;
    DWORD initError = 0;
    int userControlResult = 0;
    std::function<void()> duringInit;
    std::function<void()> duringStop;
    int runningInStop = -1;
    std::vector<DWORD> statesInStop;

private:
    void record(const std::string& hook) {
        std::lock_guard<std::mutex> lock(mutex);
        recorded.push_back(hook);
    }

    std::mutex mutex;
    std::vector<std::string> recorded;
};

class ServiceBaseTest : public krel_test::ServiceDispatcherTest {
protected:
    ServiceBaseTest() : ServiceDispatcherTest(L"KrelServiceBaseTest") {}

    void SetUp() override {
        ServiceDispatcherTest::SetUp();
        TestWorker::end.store(false);
        TestWorker::started.store(0);
        service.reset(new RecordingServiceBase(name));
    }

    void TearDown() override {
        stopDispatcher();
        TestWorker::end.store(true);
        EXPECT_TRUE(krel_test::becomesTrue([] { return TestWorker::live.load() == 0; }, PATIENCE))
            << "a worker did not end";
        service.reset();
        ServiceDispatcherTest::TearDown();
    }

    // Enters the service in the database and runs Start() on a thread of its own, as main()
    // would.
    void startDispatcher() {
        createServiceEntry();
        krel_platform::setServiceMarkerForTesting(name.c_str());
        dispatcher = std::thread([this] { started = service->Start(); });
    }

    // Waits until the service main function has reported RUNNING around its worker's start (the
    // states of Initialize come first) and the worker runs; false when they do not in time.
    // A worker is so never left to start during a later test.
    static bool runsItsWorker() { return hasReported({2, 4, 2, 4}) && workerMoves(); }

    // Waits until the states reported so far are these; false when they are not in time.
    static bool hasReported(const std::vector<DWORD>& expected) {
        return krel_test::becomesTrue(
            [&] { return krel_platform::reportedServiceStates() == expected; }, PATIENCE);
    }

    // The raw UTF-16 units of a value of the service's key.
    std::u16string serviceValueUnits(const wchar_t* valueName) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          (L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(), 0, KEY_READ,
                          &key) != ERROR_SUCCESS) {
            return u"<no key>";
        }
        opened.push_back(key);
        std::vector<BYTE> bytes(4096);
        DWORD size = static_cast<DWORD>(bytes.size());
        if (RegQueryValueExW(key, valueName, nullptr, nullptr, bytes.data(), &size) !=
            ERROR_SUCCESS) {
            return u"<no value>";
        }
        std::u16string units;
        for (DWORD index = 0; index + 1 < size; index += 2) {
            units += static_cast<char16_t>(bytes[index] | (bytes[index + 1] << 8));
        }
        return units;
    }

    // Whether the worker counts on within the patience.
    static bool workerMoves() {
        const long before = TestWorker::loops.load();
        return krel_test::becomesTrue([before] { return TestWorker::loops.load() != before; },
                                      PATIENCE);
    }

    std::vector<std::wstring> loggedMessages() const {
        std::vector<std::wstring> messages;
        for (const krel_std::LogEvent& event : recordingLog->appender->events) {
            if (!event.errorId.empty()) {
                messages.push_back(event.message);
            }
        }
        return messages;
    }

    // Runs ParseStandardArgs with the options after the program's name.
    int parse(std::vector<const wchar_t*> options) {
        options.insert(options.begin(), L"program");
        return service->ParseStandardArgs(static_cast<int>(options.size()),
                                          const_cast<wchar_t* const*>(options.data()));
    }

    std::unique_ptr<RecordingServiceBase> service;
    std::atomic<int> started{-1};
};
