#include "log/GroupedLineWriter.h"

#include <cxxabi.h>
#include <pthread.h>

#include "log/AppenderWriteGuard.h"

namespace krel_std_internal {

namespace {

// Holds off cancellation while it lives: a writer writes the whole group it took, other
// threads' lines included, and a cancellation takes effect at its next cancellation point.
class CancellationHeldOff {
public:
    CancellationHeldOff() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous); }
    ~CancellationHeldOff() { pthread_setcancelstate(previous, nullptr); }
    CancellationHeldOff(const CancellationHeldOff&) = delete;
    CancellationHeldOff& operator=(const CancellationHeldOff&) = delete;

private:
    int previous = 0;
};

} // namespace

// Ends a writer's turn however the write ends: the taken lines count as written, and every
// waiter is woken to find its line written or to take its turn.
class GroupedLineWriter::WriterRelease {
public:
    WriterRelease(GroupedLineWriter& writer, std::unique_lock<std::mutex>& hold, uint64_t through)
        : writer(writer), hold(hold), through(through) {}
    ~WriterRelease() {
        hold.lock();
        writer.taken.clear();
        writer.takenEnds.clear();
        writer.lastWritten = through;
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
    writeGroups();
    // A log call stays a cancellation point, as the write it makes is one: a cancellation held
    // off takes effect here, once every taken line is written.
    pthread_testcancel();
}

void GroupedLineWriter::writeGroups() {
    // A log call made while the file writes (a header's trace) must not reach the appenders.
    const AppenderWriteGuard guard;
    const CancellationHeldOff holdOff;
    std::size_t start = 0;
    std::size_t line = 0;
    while (line < takenEnds.size()) {
        std::size_t end = takenEnds[line++];
        while (line < takenEnds.size() && takenEnds[line] - start <= kLargestGroup) {
            end = takenEnds[line++];
        }
        try {
            rollingFile.write(taken.data() + start, 0, static_cast<unsigned long>(end - start));
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            // These lines are lost, as a line is that fails to write; the next ones go on, and
            // no failure reaches the callers that wait.
        }
        start = end;
    }
}

} // namespace krel_std_internal
