// Writes numbered lines into one rolling file set from several threads, for another
// process's tests.
//
// Usage: krel_rolling_writer <path> <id> <threads> <lines> <maximum size> <maximum files>
// Each thread writes <lines> lines "P<id> T<thread> L<line> " followed by 'x' filler to 80
// characters and a line feed, through one RollingFile shared by the threads. Writes "failed
// ..." to stderr and answers 1 when any write throws.
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "exception/KrelException.h"
#include "file/File.h"
#include "file/RollingFile.h"
#include "platform/Utf16.h"

namespace {

const size_t LINE_LENGTH = 80;

std::string lineText(const std::string& id, int thread, int line) {
    std::string text = "P" + id + " T" + std::to_string(thread) + " L" + std::to_string(line) + " ";
    text.append(LINE_LENGTH - 1 - text.size(), 'x');
    return text + "\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::cerr << "usage: krel_rolling_writer <path> <id> <threads> <lines> <size> <files>"
                  << std::endl;
        return 2;
    }
    const std::string id = argv[2];
    const int threads = std::atoi(argv[3]);
    const int lines = std::atoi(argv[4]);
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
