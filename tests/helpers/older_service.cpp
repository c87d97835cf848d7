// A service on the older service base, which the end-to-end tests install, start, pause,
// continue, stop and remove through krel-admin. Its name and the file its worker grows come from
// KREL_OLDER_SERVICE_NAME and KREL_OLDER_SERVICE_FILE, since the service database starts it
// without arguments. Run with -i or -u it installs or removes itself; started as a service it
// writes its process id to "<file>.pid" and runs until stopped.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "service/SNTServiceBase.h"

namespace {

int growingFile = -1;

// Appends one byte every 10 ms and does nothing else: it may be suspended anywhere.
unsigned grow(void*) {
    for (;;) {
        (void)!write(growingFile, "x", 1);
        Sleep(10);
    }
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void writePid(const std::string& path) {
    const std::string pid = std::to_string(getpid());
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        (void)!write(descriptor, pid.data(), pid.size());
        close(descriptor);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string file = environmentValue("KREL_OLDER_SERVICE_FILE");
    KrelStd::SNTServiceBase service(
        krel_platform::utf8ToWide(environmentValue("KREL_OLDER_SERVICE_NAME")), &grow, 1, 0, L"",
        SERVICE_WIN32_OWN_PROCESS,
        SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN);
    std::vector<std::wstring> arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.push_back(krel_platform::utf8ToWide(argv[index]));
    }
    std::vector<wchar_t*> wideArgv;
    for (std::wstring& argument : arguments) {
        wideArgv.push_back(&argument[0]);
    }
    if (service.ParseStandardArgs(argc, wideArgv.data())) {
        return 0;
    }
    growingFile = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (growingFile < 0) {
        return 2;
    }
    writePid(file + ".pid");
    return service.Start() ? 0 : 3;
}
