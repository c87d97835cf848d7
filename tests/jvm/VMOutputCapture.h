// Collects what the process writes to its standard output (where the Java VM prints its JNI
// check warnings) between begin() and end(), while still passing it on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace krel_test {

class VMOutputCapture {
public:
    // The capture of this process, made on first use and kept for the process's life (its
    // reader thread never ends).
    static VMOutputCapture& instance() {
        static VMOutputCapture& capture = *new VMOutputCapture;
        return capture;
    }

    // Standard output goes through the capture from now on.
    void begin() {
        std::fflush(stdout);
        if (pipeWrite >= 0) {
            dup2(pipeWrite, STDOUT_FILENO);
        }
    }

    // Gives standard output back and answers what was written to it since begin(). Waits (at
    // most 30 s) until the reader has passed on all of it.
    std::string end() {
        std::fflush(stdout);
        if (pipeWrite < 0) {
            return std::string();
        }
        unsigned long expected = 0;
        {
            std::lock_guard<std::mutex> guard(mutex);
            expected = ++marksWritten;
        }
        // Written without the lock: the reader may need it to empty a full pipe.
        const char mark = markByte;
        const bool marked = write(pipeWrite, &mark, 1) == 1;
        std::string output;
        {
            std::unique_lock<std::mutex> guard(mutex);
            if (marked) {
                seen.wait_for(guard, std::chrono::seconds(30),
                              [&] { return marksSeen >= expected; });
            }
            output.swap(captured);
        }
        dup2(original, STDOUT_FILENO);
        return output;
    }

private:
    // A byte that no text output holds: it marks how far the reader has come and is not passed
    // on.
    static constexpr char markByte = '\x1e';

    VMOutputCapture() {
        int ends[2];
        original = dup(STDOUT_FILENO);
        if (original < 0 || pipe(ends) != 0) {
            return;
        }
        pipeWrite = ends[1];
        std::thread([this, source = ends[0]] { pump(source); }).detach();
    }

    void pump(int source) {
        char buffer[4096];
        for (;;) {
            const ssize_t count = read(source, buffer, sizeof buffer);
            if (count <= 0) {
                return;
            }
            std::string text;
            unsigned long marks = 0;
            for (ssize_t i = 0; i < count; ++i) {
                if (buffer[i] == markByte) {
                    ++marks;
                } else {
                    text += buffer[i];
                }
            }
            if (!text.empty() && write(original, text.data(), text.size()) < 0) {
                text += "\n(could not pass this on)\n";
            }
            std::lock_guard<std::mutex> guard(mutex);
            captured += text;
            marksSeen += marks;
            seen.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable seen;
    std::string captured;
    unsigned long marksWritten = 0;
    unsigned long marksSeen = 0;
    int original = -1;
    int pipeWrite = -1;
};

} // namespace krel_test
