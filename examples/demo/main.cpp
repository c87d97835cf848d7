// A short tour of KrelStd for a newcomer: run it with `make demo`.
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ConnectionDemo.h"
#include "JavaBridgeDemo.h"
#include "base/Object.h"
#include "base/StringUtils.h"
#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationFile.h"
#include "config/ConfigurationListener.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIOException.h"
#include "file/File.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLog.h"
#include "log/StaticLogFactory.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinProcess.h"
#include "platform/WinService.h"
#include "platform/WinSignal.h"
#include "platform/WinSync.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/Preferences.h"
#include "process/Process.h"
#include "service/AbstractService.h"
#include "service/ConsoleControlSignalTranslator.h"
#include "thread/Concurrency.h"
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

// The file's lines, without their line ends.
std::vector<std::wstring> linesOf(const File& file) {
    std::ifstream in(krel_platform::wideToUtf8(file.getPath()), std::ios::binary);
    std::vector<std::wstring> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(krel_platform::utf8ToWide(line));
    }
    return lines;
}

void printFile(const File& file) {
    for (const std::wstring& line : linesOf(file)) {
        std::wcout << L"  | " << line << L"\n";
    }
}

// A log file without its header block (the lines that begin "VERSION INFO: "), which is
// counted instead.
void printLogFile(const File& file) {
    const std::vector<std::wstring> lines = linesOf(file);
    size_t header = 0;
    while (header < lines.size() && lines[header].rfind(L"VERSION INFO: ", 0) == 0) {
        ++header;
    }
    std::wcout << L"  " << file.getName() << L", its " << header
               << L" header lines (environment, settings, loaded modules) skipped:\n";
    for (size_t i = header; i < lines.size(); ++i) {
        std::wcout << L"  | " << lines[i] << L"\n";
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
    configuration.setValue(L"appender.file.class", L"krel_std.RollingFileAppender",
                           L"Log Appenders");
    configuration.setValue(L"appender.file.filter", L"krel_std.LogFileFilter", L"Log Appenders");
    configuration.save();
    printFile(file);
    file.remove();
}

// The demo's own preferences node in the user tree of the factory in use.
boost::shared_ptr<Preferences> demoPreferences() {
    return Preferences::userRoot()->node(L"krel/demo");
}

void showPreferencesExport() {
    std::wcout << L"A preferences node is exported as an XML document of the standard Java\n"
                  L"preferences type (values keep their markup, line breaks and tabs):\n";
    const boost::shared_ptr<Preferences> node = demoPreferences();
    node->put(L"greeting", L"Hello & welcome");
    node->putInt(L"retries", 3);
    node->put(L"motto", L"first line\nsecond line");
    const File file(temporaryDirectory(), L"krel-demo-prefs.xml");
    node->exportNode(file.getPath());
    printFile(file);
    file.remove();
}

// The file that KREL_DEBUG_OUTPUT names; empty when the debugger output goes to stderr or
// nowhere.
std::wstring debugOutputFile() {
    const char* target = std::getenv("KREL_DEBUG_OUTPUT");
    if (target == nullptr || std::string(target).empty() || std::string(target) == "stderr") {
        return std::wstring();
    }
    return krel_platform::utf8ToWide(target);
}

// The debugger output goes to a file under `make demo`, so that only the lines written here are
// shown: the library's own debug lines of later steps (the file watcher's housekeeping, say)
// stay in the file.
void showDebugOutput() {
    std::wcout << L"Before the log is started, log lines go to the debugger output, which\n"
                  L"`make demo` writes to ../debug-output.txt (KREL_DEBUG_OUTPUT=<file>;\n"
                  L"KREL_DEBUG_OUTPUT=stderr shows it on stderr):\n"
               << std::flush;
    const std::wstring file = debugOutputFile();
    const size_t before = file.empty() ? 0 : linesOf(File(file)).size();
    StaticLog::log(INFO, L"demo::main", L"Started", L"Demo", L"", Thread::getCurrentThreadId(),
                   L"main.cpp", __LINE__);
    StaticLog::log(DEBUG, L"demo::main", L"a debug line", L"Demo", L"",
                   Thread::getCurrentThreadId(), L"main.cpp", __LINE__);
    if (!file.empty()) {
        const std::vector<std::wstring> lines = linesOf(File(file));
        for (size_t i = before; i < lines.size(); ++i) {
            std::wcout << L"  | " << lines[i] << L"\n";
        }
    }
}

// Tells the demo which keys of the log's configuration file the log has taken.
class ChangeWatch : public ConfigurationListener {
public:
    void onConfigChange(const ConfigurationChangeEvent& event) override {
        std::lock_guard<std::mutex> guard(mutex);
        keys.insert(event.getKey());
        changed.notify_all();
    }

    bool waitFor(const std::wstring& key) {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(10),
                                [&]() { return keys.count(key) != 0; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::wstring> keys;
};

// A log call as the logging macros make it: nothing happens below the threshold.
void logLine(LogEventPriority priority, const wchar_t* text, unsigned int line) {
    if (StaticLog::isThresholdOn(priority)) {
        StaticLog::log(priority, L"demo::main", text, L"Demo", L"", Thread::getCurrentThreadId(),
                       L"main.cpp", line);
    }
}

void showStaticLog() {
    std::wcout << L"The log starts from its file ../config/Demo.cfg and writes rolling files\n"
                  L"../log/Demo0001.log, ... that begin with a header block:\n"
               << std::flush;
    ConfigurationFile settings(File(L"../config/Demo.cfg"));
    settings.setValue(L"Threshold", L"INFO", L"Debug Log");
    settings.setValue(L"appender.file.class", L"krel_std.RollingFileAppender", L"Log Appenders");
    settings.setValue(L"appender.file.filter", L"krel_std.DebugFileFilter", L"Log Appenders");
    settings.setValue(L"appender.file.layout", L"krel_std.KrelLogLayout", L"Log Appenders");
    settings.setValue(L"appender.file.size", L"1MB", L"Log Appenders");
    settings.save();
    StaticLog::initInstance(L"Demo");
    const auto appender = boost::dynamic_pointer_cast<RollingFileAppender>(
        Singleton<StaticLogFactory>::getInstance().getAppender(L"file"));
    if (!appender) {
        std::wcout << L"  the log did not start\n";
        return;
    }
    logLine(INFO, L"written at threshold INFO", __LINE__);
    logLine(DEBUG, L"left out at threshold INFO", __LINE__);

    std::wcout << L"Edited while the program runs (threshold DEBUG, 2 MB files), the file is\n"
                  L"followed at once:\n";
    const boost::shared_ptr<ChangeWatch> watch(new ChangeWatch());
    StaticLog::addConfigurationListener(watch);
    settings.setValue(L"Threshold", L"DEBUG", L"Debug Log");
    settings.setValue(L"appender.file.size", L"2MB", L"Log Appenders");
    settings.save();
    const bool taken = watch->waitFor(L"Threshold") && watch->waitFor(L"appender.file.size");
    StaticLog::removeConfigurationListener(watch);
    std::wcout << L"  change taken: " << (taken ? L"yes" : L"no") << L", maximum file size now "
               << appender->getMaximumSize() << L" bytes\n";
    logLine(DEBUG, L"written at threshold DEBUG", __LINE__);
    printLogFile(File(L"../log/Demo0001.log"));
}

// What the program's SIGINT function saw, for the main thread to print.
struct Interruption {
    Event handled{true, false};
    int signal = 0;
    uint64_t threadId = 0;
};

Interruption& interruption() {
    static Interruption& seen = *new Interruption;
    return seen;
}

void onInterrupt(int signal) {
    interruption().signal = signal;
    interruption().threadId = Thread::getCurrentThreadId();
    interruption().handled.signal();
}

void showConsoleEvents() {
    std::wcout << L"Console events become C signals: the demo sends itself SIGHUP (the console\n"
                  L"closing), and the console translator turns it into SIGINT:\n"
               << std::flush;
    krel_platform::signal(SIGINT, onInterrupt);
    {
        ConsoleControlSignalTranslator translator;
        kill(getpid(), SIGHUP);
        if (Concurrency::waitForSingleObject(interruption().handled, 5000) != 0) {
            std::wcout << L"  the close event did not arrive\n";
        } else {
            std::wcout << L"  SIGINT(" << interruption().signal
                       << L") handler ran on the signal delivery thread ("
                       << interruption().threadId << L"), not on the main thread ("
                       << Thread::getCurrentThreadId() << L")\n";
        }
    }
    krel_platform::signal(SIGINT, SIG_DFL);
}

// The demo's own program path, from its first argument.
std::wstring ownProgram() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring program = count > 0 ? arguments[0] : L"";
    LocalFree(arguments);
    return program;
}

// A second copy of the demo runs as "--child <shutdown event> <ready event>": it holds its
// shutdown event, tells the first copy it is ready, and ends with code 3 once asked to stop.
int runAsChild(const std::wstring& shutdownName, const std::wstring& readyName) {
    HANDLE shutdown = CreateEventW(nullptr, TRUE, FALSE, shutdownName.c_str());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    SetEvent(ready);
    CloseHandle(ready);
    const DWORD result = WaitForSingleObject(shutdown, 60000);
    CloseHandle(shutdown);
    return result == WAIT_OBJECT_0 ? 3 : 1;
}

void showProcesses() {
    std::wcout << L"A second copy of the demo is started and asked to stop through its named\n"
                  L"shutdown event:\n";
    const std::wstring suffix = std::to_wstring(Process::getCurrentProcessId());
    const std::wstring shutdownName = L"krel-demo-shutdown-" + suffix;
    const std::wstring readyName = L"krel-demo-ready-" + suffix;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    const auto started = std::chrono::steady_clock::now();
    Process child(File(ownProgram()), L"--child " + shutdownName + L" " + readyName, File());
    if (WaitForSingleObject(ready, 10000) != WAIT_OBJECT_0) {
        std::wcout << L"  the child did not start\n";
    }
    CloseHandle(ready);
    child.setMaxWaitTime(10000);
    child.stop(shutdownName);
    Concurrency::waitForSingleObject(*child.getShutdownEvent(), 10000);
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    std::wcout << L"  " << child.toString() << L" (id " << child.getId() << L") ended with code "
               << child.getExitCode() << L" after " << elapsed.count() / 1000.0 << L" ms\n";
}

// Prints the change it is called with and lets the demo go on.
class PrintingPreferenceListener final : public PreferenceChangeListener {
public:
    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override {
        std::wcout << L"  listener called: key '" << event->getKey() << L"', new value '"
                   << event->getNewValue() << L"', node " << event->getListenerPath() << L"\n";
        called.signal();
    }

    Event called{true, false};
};

// Runs the registry tool to its end; its exit code, or -1 when it could not run.
int runRegistryTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KREL_ADMIN_TOOL);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void showRegistryPreferences() {
    std::wcout << L"Preferences live in the registry: the user tree on HKEY_CURRENT_USER keeps a\n"
                  L"run counter, and a second process changes a value the demo listens to:\n"
               << std::flush;
    const boost::shared_ptr<Preferences> node =
        Preferences::userRoot()->node(L"/Software/KrelStd/Demo");
    const int runs = node->getInt(L"RunCount", 0) + 1;
    node->putInt(L"RunCount", runs);
    std::wcout << L"  run number " << runs << L" (HKEY_CURRENT_USER\\Software\\KrelStd\\Demo)\n";
    const boost::shared_ptr<PrintingPreferenceListener> listener(new PrintingPreferenceListener);
    node->addPreferenceChangeListener(listener);
    const std::string greeting = "hello from process run " + std::to_string(runs);
    if (runRegistryTool(
            {"write", "HKCU\\Software\\KrelStd\\Demo", "Greeting", "REG_SZ", greeting}) != 0) {
        std::wcout << L"  the registry tool could not write\n";
    } else if (Concurrency::waitForSingleObject(listener->called, 5000) != 0) {
        std::wcout << L"  the change did not arrive\n";
    }
    node->removePreferenceChangeListener(listener);
}

// The demo in service mode ("--service <name> <log file>"): a service on the application frame
// that writes a line to its log at each step.
class DemoService : public AbstractService {
public:
    DemoService(const std::wstring& name, const std::string& logPath)
        : name(name), logPath(logPath) {}

    std::wstring getServiceName() override { return name; }

    void run() override {
        log("run: waiting for the stop");
        Concurrency::waitForSingleObject(shutdownEvent, 60000);
        log("run: ends");
    }

    void log(const std::string& line) {
        std::ofstream(logPath, std::ios::app) << "  [service " << getpid() << "] " << line << '\n';
    }

protected:
    void onStart() override { log("onStart"); }

    void onStop() override {
        log("onStop");
        shutdownEvent.signal();
    }

private:
    const std::wstring name;
    const std::string logPath;
};

int runAsService(const std::wstring& name, const std::string& logPath) {
    DemoService service(name, logPath);
    return service.start() ? 0 : 1;
}

// The service's state as the manager reports it, asked until it is the one wanted (or 10 s
// passed), with its name.
std::wstring awaitServiceState(SC_HANDLE service, DWORD wanted) {
    static const wchar_t* const names[] = {
        L"?",       L"STOPPED",          L"START_PENDING", L"STOP_PENDING",
        L"RUNNING", L"CONTINUE_PENDING", L"PAUSE_PENDING", L"PAUSED"};
    SERVICE_STATUS status{};
    const DWORD deadline = GetTickCount() + 10000;
    bool known = false;
    while (!(known = QueryServiceStatus(service, &status) != FALSE) ||
           status.dwCurrentState != wanted) {
        if (static_cast<int>(deadline - GetTickCount()) <= 0) {
            break;
        }
        std::this_thread::yield();
    }
    if (!known) {
        return L"unknown (error " + std::to_wstring(GetLastError()) + L")";
    }
    const DWORD state = status.dwCurrentState;
    return std::to_wstring(state) + L" " + names[state < 8 ? state : 0];
}

void showService() {
    std::wcout << L"Services: the demo installs itself as a service, starts it in a process of\n"
                  L"its own, stops it and removes it, through the service control manager:\n"
               << std::flush;
    const std::wstring name = L"KrelDemoService-" + std::to_wstring(getpid());
    const std::wstring logPath = File(L"../log/service.log").getAbsolutePath();
    const std::wstring command =
        L"\"" + ownProgram() + L"\" --service " + name + L" \"" + logPath + L"\"";
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service =
        manager == nullptr
            ? nullptr
            : CreateServiceW(manager, name.c_str(), L"KrelStd demo", SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) {
        std::wcout << L"  the service could not be installed (error " << GetLastError() << L")\n";
        CloseServiceHandle(manager);
        return;
    }
    std::wcout << L"  installed " << name << L": " << command << L"\n";
    if (!StartServiceW(service, 0, nullptr)) {
        std::wcout << L"  the service did not start (error " << GetLastError() << L")\n";
    } else {
        std::wcout << L"  started, state " << awaitServiceState(service, SERVICE_RUNNING) << L"\n";
        SERVICE_STATUS status{};
        if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
            std::wcout << L"  stop sent, its onStop ran\n";
        } else {
            std::wcout << L"  the stop was refused (error " << GetLastError() << L")\n";
        }
        const std::wstring stopped = awaitServiceState(service, SERVICE_STOPPED);
        std::wcout << L"  the service's log:\n" << std::flush;
        std::ifstream log(krel_platform::wideToUtf8(logPath));
        for (std::string line; std::getline(log, line);) {
            std::wcout << krel_platform::utf8ToWide(line) << L"\n";
        }
        std::wcout << L"  state " << stopped << L"\n";
    }
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child") {
        return runAsChild(krel_platform::utf8ToWide(argv[2]), krel_platform::utf8ToWide(argv[3]));
    }
    if (argc == 4 && std::string(argv[1]) == "--service") {
        return runAsService(krel_platform::utf8ToWide(argv[2]), argv[3]);
    }
    std::ios::sync_with_stdio(false);
    std::locale::global(std::locale("C.UTF-8"));
    std::wcout.imbue(std::locale("C.UTF-8"));
    // Every output is flushed at once, so that each section's lines come before the debugger
    // output (on stderr) of what the section does next.
    std::wcout << std::unitbuf;
    showObjects();
    showExceptionChain();
    showFormatting();
    showThreads();
    showConfiguration();
    showPreferencesExport();
    showDebugOutput();
    showStaticLog();
    showConsoleEvents();
    showProcesses();
    showConnectionManager();
    showRegistryPreferences();
    showService();
    showJavaBridge();
    return 0;
}
