#include "log/GroupedLineWriter.h"

#include <new>

#include "exception/KrelException.h"
#include "log/AppenderWriteGuard.h"

namespace krel_std_internal {

// Ends a writer's turn however the write ends. The lines written, or lost to a failed write,
// count as written; lines a cancelled or throwing writer did not reach go back to the front
// of the queue for the next writer. Every waiter is woken to find its line written or to take
// its turn.
class GroupedLineWriter::WriterRelease {
public:
    WriterRelease(GroupedLineWriter& writer, std::unique_lock<std::mutex>& hold, uint64_t through)
        : writer(writer), hold(hold), through(through) {}
    ~WriterRelease() {
        hold.lock();
        uint64_t written = through - (writer.takenEnds.size() - writer.takenDone);
        if (written < through) {
            try {
                writer.requeueRest();
            } catch (const std::bad_alloc&) {
                // No room to keep them: these lines and the queued ones are lost.
                writer.queued.clear();
                writer.queuedEnds.clear();
                written = writer.lastQueued;
            }
        }
        writer.taken.clear();
        writer.takenEnds.clear();
        writer.takenDone = 0;
        writer.lastWritten = written;
        writer.writing = false;
        writer.lineWritten.notify_all();
    }
    WriterRelease(const WriterRelease&) = delete;
    WriterRelease& operator=(const WriterRelease&) = delete;

private:
    GroupedLineWriter& writer;
    std::unique_lock<std::mutex>& hold;
    uint64_t through;
};

uint64_t GroupedLineWriter::queue(const char* bytes, std::size_t count) {
    const std::lock_guard<std::mutex> hold(mutex);
    queued.append(bytes, count);
    queuedEnds.push_back(queued.size());
    return ++lastQueued;
}

void GroupedLineWriter::awaitWritten(uint64_t ticket) {
    std::unique_lock<std::mutex> hold(mutex);
    while (lastWritten < ticket) {
        if (writing) {
            lineWritten.wait(hold);
        } else {
            writeQueued(hold);
        }
    }
}

void GroupedLineWriter::writeQueued(std::unique_lock<std::mutex>& hold) {
    writing = true;
    taken.swap(queued);
    takenEnds.swap(queuedEnds);
    const uint64_t through = lastQueued;
    hold.unlock();
    const WriterRelease release(*this, hold, through);
    writeTaken();
}

void GroupedLineWriter::writeTaken() {
    // A log call made while the file writes (a header's trace) must not reach the appenders.
    const AppenderWriteGuard guard;
    std::size_t start = 0;
    std::size_t line = 0;
    while (line < takenEnds.size()) {
        std::size_t end = takenEnds[line++];
        while (line < takenEnds.size() && takenEnds[line] - start <= kLargestGroup) {
            end = takenEnds[line++];
        }
        try {
            rollingFile.write(taken.data() + start, 0, static_cast<unsigned long>(end - start));
        } catch (const krel_std::KrelException&) {
            // These lines are lost; the next ones are written on.
        }
        takenDone = line;
        start = end;
    }
}

void GroupedLineWriter::requeueRest() {
    const std::size_t from = takenDone == 0 ? 0 : takenEnds[takenDone - 1];
    taken.erase(0, from);
    takenEnds.erase(takenEnds.begin(), takenEnds.begin() + static_cast<std::ptrdiff_t>(takenDone));
    for (std::size_t& end : takenEnds) {
        end -= from;
    }
    for (const std::size_t end : queuedEnds) {
        takenEnds.push_back(taken.size() + end);
    }
    taken += queued;
    queued.swap(taken);
    queuedEnds.swap(takenEnds);
}

} // namespace krel_std_internal
