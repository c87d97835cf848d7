// Writes numbered lines into one rolling file set from several threads, for another
// process's tests.
//
// Usage: krel_rolling_writer <path> <id> <threads> <lines> <maximum size> <maximum files> [logged]
// Each thread writes <lines> lines "P<id> T<thread> L<line> " followed by 'x' filler to 80
// characters and a line feed, through one RollingFile shared by the threads. Writes "failed
// ..." to stderr and answers 1 when any write throws.
//
// With "logged" the threads log the lines through the static log instead, into a
// RollingFileAppender of the file (its layout adds only the line feed), whose files begin with
// its header block.
#include <atomic>
#include <boost/shared_ptr.hpp>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "exception/KrelException.h"
#include "file/File.h"
#include "file/RollingFile.h"
#include "log/DebugFileFilter.h"
#include "log/ILogEventLayout.h"
#include "log/KrelLogLayout.h"
#include "log/LogEvent.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLog.h"
#include "log/StaticLogTestHook.h"
#include "platform/Utf16.h"

namespace {

const size_t LINE_LENGTH = 80;

std::string lineText(const std::string& id, int thread, int line) {
    std::string text = "P" + id + " T" + std::to_string(thread) + " L" + std::to_string(line) + " ";
    text.append(LINE_LENGTH - 1 - text.size(), 'x');
    return text + "\n";
}

// The event's message and a line feed.
class MessageLayout : public krel_std::ILogEventLayout {
public:
    Configurable* newInstance(const std::map<std::wstring, std::wstring>&) override {
        return new MessageLayout();
    }
    std::wstring format(const krel_std::LogEvent& event) override { return event.message + L"\n"; }
};

// Logs the lines of every thread through the static log into an appender of the file, laid
// out by the library's own layout when `stamped`, else as the bare message.
int logLines(const char* path, const std::string& id, int threads, int lines, const char* size,
             const char* files, bool stamped) {
    using krel_platform::utf8ToWide;
    krel_std::RollingFileAppender prototype;
    const boost::shared_ptr<krel_std::ILogAppender> appender(dynamic_cast<krel_std::ILogAppender*>(
        prototype.newInstance({{L"path", utf8ToWide(path)},
                               {L"size", utf8ToWide(size)},
                               {L"files", utf8ToWide(files)}})));
    appender->setFilter(
        boost::shared_ptr<krel_std::ILogEventFilter>(new krel_std::DebugFileFilter()));
    appender->setLayout(boost::shared_ptr<krel_std::ILogEventLayout>(
        stamped ? static_cast<krel_std::ILogEventLayout*>(new krel_std::KrelLogLayout())
                : new MessageLayout()));
    krel_std_internal::StaticLogTestHook::initialize(L"Writer", {{L"rolling", appender}});
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::INFO);
    std::vector<std::thread> writers;
    for (int thread = 0; thread < threads; ++thread) {
        writers.emplace_back([&, thread]() {
            for (int line = 0; line < lines; ++line) {
                std::string text = lineText(id, thread, line);
                text.pop_back();
                krel_std::StaticLog::log(krel_std::INFO, L"Writer::run", utf8ToWide(text), L"", L"",
                                         0, L"", 0);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool stamped = argc == 8 && std::string(argv[7]) == "stamped";
    const bool logged = stamped || (argc == 8 && std::string(argv[7]) == "logged");
    if (argc != 7 && !logged) {
        std::cerr << "usage: krel_rolling_writer <path> <id> <threads> <lines> <size> <files> "
                     "[logged|stamped]"
                  << std::endl;
        return 2;
    }
    const std::string id = argv[2];
    const int threads = std::atoi(argv[3]);
    const int lines = std::atoi(argv[4]);
    if (logged) {
        return logLines(argv[1], id, threads, lines, argv[5], argv[6], stamped);
    }
    krel_std::RollingFile file;
    std::atomic<int> failures(0);
    try {
        file.setFilePath(krel_std::File(krel_platform::utf8ToWide(argv[1])));
        file.setMaximumFiles(std::strtoul(argv[6], nullptr, 10));
        file.setMaximumSize(std::strtoul(argv[5], nullptr, 10));
        file.open();
    } catch (const krel_std::KrelException& e) {
        std::wcerr << L"failed to open: " << e.getMessage() << std::endl;
        return 1;
    }
    std::vector<std::thread> writers;
    for (int thread = 0; thread < threads; ++thread) {
        writers.emplace_back([&, thread]() {
            for (int line = 0; line < lines; ++line) {
                const std::string text = lineText(id, thread, line);
                try {
                    file.write(text.data(), 0, static_cast<unsigned long>(text.size()));
                } catch (const krel_std::KrelException& e) {
                    ++failures;
                    std::wcerr << L"failed " << krel_platform::utf8ToWide(text) << L": "
                               << e.getMessage() << std::endl;
                }
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    return failures.load() == 0 ? 0 : 1;
}
