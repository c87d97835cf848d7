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
#include "service/AbstractService.h"
#include "support/Eventually.h"
#include "support/ServiceDispatcherTest.h"
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

class ControllerTest : public krel_test::ServiceDispatcherTest {
protected:
    ControllerTest() : ServiceDispatcherTest(L"KrelControllerTest") {}

    void SetUp() override {
        ServiceDispatcherTest::SetUp();
        createServiceEntry();
        service.reset(new RecordingService(name));
    }

    void TearDown() override {
        stopDispatcher();
        service.reset();
        ServiceDispatcherTest::TearDown();
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

    std::unique_ptr<RecordingService> service;
    std::thread::id dispatcherThread;
    std::atomic<bool> started{true};
};
