// A service on the library's application frame, started by the end-to-end service tests.
// Command line: <record file> <service name>. Appends to the record file "pid <id>", then one
// line per hook ("onStart", "run", "onStop", "run end") and finally "start <true|false>".
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinProcess.h"
#include "service/AbstractService.h"
#include "thread/Concurrency.h"

namespace {

const long LONGEST_WAIT_MS = 60000;

class FrameService : public krel_std::AbstractService {
public:
    FrameService(const std::wstring& name, const std::string& recordPath)
        : name(name), recordPath(recordPath) {}

    std::wstring getServiceName() override { return name; }

    void run() override {
        record("run");
        krel_std::Concurrency::waitForSingleObject(shutdownEvent, LONGEST_WAIT_MS);
        record("run end");
    }

    void record(const std::string& line) {
        std::ofstream(recordPath, std::ios::app) << line << '\n';
    }

protected:
    void onStart() override { record("onStart"); }

    void onStop() override {
        record("onStop");
        shutdownEvent.signal();
    }

private:
    const std::wstring name;
    const std::string recordPath;
};

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3) {
        return 2;
    }
    const std::string recordPath = krel_platform::wideToUtf8(argv[1]);
    std::ofstream(recordPath, std::ios::app) << "pid " << getpid() << '\n';
    bool started = false;
    {
        FrameService service(argv[2], recordPath);
        started = service.start();
        service.record(started ? "start true" : "start false");
    }
    LocalFree(argv);
    return started ? 0 : 1;
}
