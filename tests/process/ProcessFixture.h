// Starts the helper program tests/helpers/process_child.cpp as a krel_std::Process.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unistd.h>

#include "file/File.h"
#include "platform/WinBase.h"
#include "platform/WinSync.h"
#include "process/Process.h"
#include "support/ModulePaths.h"
#include "support/TempDirectory.h"
#include "thread/Concurrency.h"

class ProcessFixture : public TempDirectoryTest {
protected:
    // Generous: a wait that fails only when something is wrong.
    static constexpr DWORD PATIENCE_MS = 20000;

    void TearDown() override {
        for (auto& process : started) {
            process->setMaxWaitTime(0);
            process->stop(L"");
            krel_std::Concurrency::waitForSingleObject(*process->getShutdownEvent(), PATIENCE_MS);
        }
        started.clear();
        TempDirectoryTest::TearDown();
    }

    static std::wstring helperPath() {
        const std::wstring self = krel_test::selfPath();
        return self.substr(0, self.find_last_of(L'/')) + L"/helpers/krel_process_child";
    }

    // A name no other test run uses.
    static std::wstring uniqueName(const std::wstring& prefix) {
        static std::atomic<int> counter(0);
        return prefix + L"-" + std::to_wstring(getpid()) + L"-" + std::to_wstring(++counter);
    }

    krel_std::Process& start(const std::wstring& arguments,
                             const krel_std::File& directory = krel_std::File()) {
        return startProgram(helperPath(), arguments, directory);
    }

    krel_std::Process& startProgram(const std::wstring& program, const std::wstring& arguments,
                                    const krel_std::File& directory = krel_std::File()) {
        started.emplace_back(new krel_std::Process(krel_std::File(program), arguments, directory));
        return *started.back();
    }

    // Stops tracking a process the test drops itself.
    std::unique_ptr<krel_std::Process> release(krel_std::Process& process) {
        for (auto entry = started.begin(); entry != started.end(); ++entry) {
            if (entry->get() == &process) {
                std::unique_ptr<krel_std::Process> owned = std::move(*entry);
                started.erase(entry);
                return owned;
            }
        }
        return nullptr;
    }

    // Holds a named event that a child sets once it is ready.
    class ReadySignal {
    public:
        ReadySignal()
            : name(uniqueName(L"ready")), event(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
        ~ReadySignal() { CloseHandle(event); }
        bool await() const { return WaitForSingleObject(event, PATIENCE_MS) == WAIT_OBJECT_0; }

        const std::wstring name;
        const HANDLE event;
    };

    static bool awaitEnd(krel_std::Process& process) {
        return krel_std::Concurrency::waitForSingleObject(*process.getShutdownEvent(),
                                                          PATIENCE_MS) == 0;
    }

    std::vector<std::unique_ptr<krel_std::Process>> started;
};
