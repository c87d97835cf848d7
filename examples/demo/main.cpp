// A short tour of KrelStd for a newcomer: run it with `make demo`.
#include <iostream>

#include "ConnectionDemo.h"

#include <cstdlib>
#include <fstream>

#include "base/Object.h"
#include "base/StringUtils.h"
#include "config/ConfigurationFile.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "log/StaticLog.h"
#include "platform/Utf16.h"
#include "thread/Event.h"
#include "thread/Lock.h"
#include "thread/Runnable.h"
#include "thread/Thread.h"

using namespace krel_std;

namespace {

void showObjects() {
    std::wcout << L"Objects print themselves:\n";
    std::wcout << L"  " << Object().toString() << L"\n";
    std::wcout << L"  " << Lock().toString() << L"\n";
    std::wcout << L"  " << Event(false, true).toString() << L"\n";
}

void showExceptionChain() {
    std::wcout << L"Exceptions carry their cause and a Java class name:\n";
    try {
        try {
            throw KrelAccessException(L"Access is denied.", 5);
        } catch (const KrelException& cause) {
            throw KrelIOException(L"Unable to open <settings.cfg>", cause);
        }
    } catch (const KrelException& e) {
        std::wcout << L"  " << e.toString() << L"\n";
        std::wcout << L"  error number " << e.getErrNum() << L"\n";
    }
}

void showFormatting() {
    std::wcout << L"printf-style formatting follows the Windows runtime's rules\n"
                  L"(in a wide format %s takes wide text and %S narrow text):\n";
    std::wstring text;
    StringUtils::sprintfStringAppend(
        text, L"  wide <%s>, narrow <%S>, 64-bit <%I64d>, pointer <%p>", L"caf\u00e9", "bytes",
        static_cast<long long>(1) << 40, reinterpret_cast<void*>(0xBEEF));
    std::wcout << text << L"\n";
    std::wcout << L"  \"10 kb\" is " << StringUtils::convertSizeString(L"10 kb", 0)
               << L" bytes, \"1.5MB\" is " << StringUtils::convertSizeString(L"1.5MB", 0)
               << L" bytes\n";
}

// A small piece of work for a named library thread.
class Greeter : public Runnable {
public:
    void run() override { greeted = L"hello from a library thread"; }
    std::wstring greeted;
};

void showThreads() {
    std::wcout << L"Named threads run a Runnable and can be joined with a time-out:\n";
    boost::shared_ptr<Greeter> greeter(new Greeter);
    Thread thread(greeter, L"greeter");
    thread.start();
    const bool ended = thread.join(5000);
    std::wcout << L"  " << thread.getName() << L": "
               << (ended ? greeter->greeted : L"still running") << L"\n";
}

std::wstring temporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    return krel_platform::utf8ToWide(directory != nullptr && *directory != '\0' ? directory
                                                                                : "/tmp");
}

void printFile(const File& file) {
    std::ifstream in(krel_platform::wideToUtf8(file.getPath()), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::wcout << L"  | " << krel_platform::utf8ToWide(line) << L"\n";
    }
}

void showConfiguration() {
    std::wcout << L"INI configuration files are read, changed and saved (through a temporary\n"
                  L"file and an atomic rename):\n";
    const File file(temporaryDirectory(), L"krel-demo.cfg");
    {
        std::ofstream out(krel_platform::wideToUtf8(file.getPath()), std::ios::binary);
        out << "# written by hand\r\n[Debug Log]\r\nThreshold=INFO\r\n";
    }
    ConfigurationFile configuration(file);
    configuration.load();
    configuration.setValue(L"Threshold", L"DEBUG", L"Debug Log");
    configuration.setValue(L"appender.file", L"krel_std.RollingFileAppender", L"Log Appenders");
    configuration.save();
    printFile(file);
    file.remove();
}

void showDebugOutput() {
    std::wcout << L"Before the log is started, log lines go to the debugger output, which\n"
                  L"`make demo` shows on stderr (KREL_DEBUG_OUTPUT=stderr):\n"
               << std::flush;
    StaticLog::log(INFO, L"demo::main", L"Started", L"Demo", L"", Thread::getCurrentThreadId(),
                   L"main.cpp", __LINE__);
    StaticLog::log(DEBUG, L"demo::main", L"a debug line", L"Demo", L"",
                   Thread::getCurrentThreadId(), L"main.cpp", __LINE__);
}

} // namespace

int main() {
    std::ios::sync_with_stdio(false);
    std::locale::global(std::locale("C.UTF-8"));
    std::wcout.imbue(std::locale("C.UTF-8"));
    showObjects();
    showExceptionChain();
    showFormatting();
    showThreads();
    showConfiguration();
    showDebugOutput();
    showConnectionManager();
    return 0;
}
