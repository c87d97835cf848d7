// Writes lines of many threads into one rolling file, a group of waiting lines per write.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "file/RollingFile.h"

namespace krel_std_internal {

// Lines are queued in the order their callers hold the logger, each with a ticket. A thread
// that waits for its line writes it itself when no other thread is writing, together with
// every line queued before it, in as few writes as the rolling file allows (each write holds
// whole lines, at most kLargestGroup bytes unless one line is larger); otherwise it waits for
// the thread that writes. So a line is in the file, or lost to a failed write as a single
// line would be, when its waiter returns, and lines of one file never interleave: each write
// is one append of whole lines, which the rolling file checks against its limit and shares
// with other processes as it does any write.
//
// A writer is not cancelled while it writes the group it took, only once it is written; a
// waiter that is cancelled
// leaves its line queued, and its log call still waits for it, with cancellation disabled, as
// it unwinds. Failures of a write lose its lines and never reach the callers. So no line
// waits for a writer that is gone.
class GroupedLineWriter {
public:
    GroupedLineWriter() = default;
    GroupedLineWriter(const GroupedLineWriter&) = delete;
    GroupedLineWriter& operator=(const GroupedLineWriter&) = delete;

    krel_std::RollingFile& file() { return rollingFile; }

    // Queues one line, made by `write(char* out)` into room for `largest` bytes, which
    // answers how many it wrote; answers the ticket to wait for.
    template <class Write> uint64_t queue(std::size_t largest, const Write& write) {
        const std::lock_guard<std::mutex> hold(mutex);
        const std::size_t start = queued.size();
        queued.resize(start + largest);
        queued.resize(start + write(&queued[start]));
        queuedEnds.push_back(queued.size());
        return ++lastQueued;
    }
    // Returns once the line of the ticket was written or lost, writing queued lines itself
    // while no other thread writes.
    void awaitWritten(uint64_t ticket);

    static constexpr std::size_t kLargestGroup = 65536;

private:
    class WriterRelease;

    // Takes every queued line and writes it, the lock released meanwhile.
    void writeQueued(std::unique_lock<std::mutex>& hold);
    // Writes the taken lines, then lets a held-off cancellation take effect.
    void writeTaken();
    // Writes the taken lines, whole lines per write, with cancellation held off; a write that
    // fails loses its lines.
    void writeGroups();

    krel_std::RollingFile rollingFile;
    std::mutex mutex;
    std::condition_variable lineWritten;
    // Lines queued and not yet taken by a writer: their bytes and where each ends.
    std::string queued;
    std::vector<std::size_t> queuedEnds;
    // Lines a writer has taken; touched only by that writer.
    std::string taken;
    std::vector<std::size_t> takenEnds;
    uint64_t lastQueued = 0;
    uint64_t lastWritten = 0;
    bool writing = false;
};

} // namespace krel_std_internal
