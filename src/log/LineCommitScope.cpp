#include "log/LineCommitScope.h"

#include <pthread.h>

#include "log/GroupedLineWriter.h"
#include "log/HotThreadLocal.h"

namespace krel_std_internal {

namespace {

KREL_HOT_THREAD_LOCAL LineCommitScope* openScope = nullptr;

} // namespace

LineCommitScope::LineCommitScope() : tickets(), count(0), done(0), outer(openScope) {
    openScope = this;
}

LineCommitScope::~LineCommitScope() {
    openScope = outer;
    if (done == count) {
        return;
    }
    int previous = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    try {
        finish();
    } catch (...) {
        // Waiting cannot be cancelled here; a destructor must not throw.
    }
    pthread_setcancelstate(previous, nullptr);
}

void LineCommitScope::finish() {
    openScope = outer;
    while (done < count) {
        writers[done]->awaitWritten(tickets[done]);
        writers[done].reset();
        ++done;
    }
}

bool LineCommitScope::defer(const std::shared_ptr<GroupedLineWriter>& writer, uint64_t ticket) {
    LineCommitScope* scope = openScope;
    if (scope == nullptr || scope->count == kCapacity) {
        return false;
    }
    scope->writers[scope->count] = writer;
    scope->tickets[scope->count] = ticket;
    ++scope->count;
    return true;
}

} // namespace krel_std_internal
