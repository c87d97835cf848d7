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
// A writer that throws or is cancelled hands the lines it did not reach back to the queue and
// wakes the waiters, so the next waiting thread writes on; no line waits for a writer that is
// gone.
class GroupedLineWriter {
public:
    GroupedLineWriter() = default;
    GroupedLineWriter(const GroupedLineWriter&) = delete;
    GroupedLineWriter& operator=(const GroupedLineWriter&) = delete;

    krel_std::RollingFile& file() { return rollingFile; }

    // Queues the bytes of one line; answers the ticket to wait for.
    uint64_t queue(const char* bytes, std::size_t count);
    // Returns once the line of the ticket was written or lost, writing queued lines itself
    // while no other thread writes.
    void awaitWritten(uint64_t ticket);

    static constexpr std::size_t kLargestGroup = 65536;

private:
    class WriterRelease;

    // Takes every queued line and writes it, the lock released meanwhile.
    void writeQueued(std::unique_lock<std::mutex>& hold);
    // Writes the taken lines, whole lines per write; a write that fails loses its lines.
    void writeTaken();
    // Puts the taken lines not yet done back in front of the queued ones.
    void requeueRest();

    krel_std::RollingFile rollingFile;
    std::mutex mutex;
    std::condition_variable lineWritten;
    // Lines queued and not yet taken by a writer: their bytes and where each ends.
    std::string queued;
    std::vector<std::size_t> queuedEnds;
    // Lines a writer has taken; touched only by that writer.
    std::string taken;
    std::vector<std::size_t> takenEnds;
    // How many taken lines were written or lost so far.
    std::size_t takenDone = 0;
    uint64_t lastQueued = 0;
    uint64_t lastWritten = 0;
    bool writing = false;
};

} // namespace krel_std_internal
