// Lets a log call wait for its lines' writes after it released the static log's locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace krel_std_internal {

class GroupedLineWriter;

// Lives on the stack of a log call around the time it holds the static log's locks. An
// appender that queues a line for a grouped write while a scope is open hands the wait for it
// to the scope; the call then waits in finish(), once the locks are free, so other threads
// can queue their lines meanwhile and go out in the same write. Without an open scope (a
// logger used on its own) the appender waits at once.
//
// The scope keeps the writers alive while it waits: an appender may be removed and destroyed
// in between. A scope left by an exception still waits for its lines in its destructor, with
// cancellation disabled, so no line is left queued without a thread to write it.
class LineCommitScope {
public:
    LineCommitScope();
    ~LineCommitScope();
    LineCommitScope(const LineCommitScope&) = delete;
    LineCommitScope& operator=(const LineCommitScope&) = delete;

    // Waits for every line handed to the scope.
    void finish();

    // Hands the wait for a queued line to the thread's open scope; false when none is open or
    // it is full, and the caller must wait itself.
    static bool defer(const std::shared_ptr<GroupedLineWriter>& writer, uint64_t ticket);

private:
    static constexpr std::size_t kCapacity = 4;

    std::shared_ptr<GroupedLineWriter> writers[kCapacity];
    uint64_t tickets[kCapacity];
    std::size_t count;
    std::size_t done;
    LineCommitScope* outer;
};

} // namespace krel_std_internal
