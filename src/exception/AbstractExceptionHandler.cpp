#include "exception/AbstractExceptionHandler.h"

#include "exception/KrelIllegalArgumentException.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// The successor whose append the calling thread has checked. The appends down the chain that
// follow from that call are not checked again: they run with the handlers above them locked,
// and a check walks other handlers' locks.
thread_local const IExceptionHandler* checkedSuccessor = nullptr;

// Marks a successor as checked for the scope of the append that checked it.
class CheckedAppend {
public:
    explicit CheckedAppend(const IExceptionHandler* successor) : previous(checkedSuccessor) {
        checkedSuccessor = successor;
    }
    CheckedAppend(const CheckedAppend&) = delete;
    CheckedAppend& operator=(const CheckedAppend&) = delete;
    ~CheckedAppend() { checkedSuccessor = previous; }

private:
    const IExceptionHandler* previous;
};

// Where a walk along the successors ended.
struct ChainWalk {
    // The handler the walk stopped at: the target, the last handler, or null in a loop.
    IExceptionHandler* stop;
    bool metTarget;
};

// Follows the successors from `first` until it meets `target` or the chain ends. A chain that
// runs in a loop (resetSuccessor can make one) is recognised without memory by Brent's method:
// a marker handler moves ahead after 1, 2, 4, ... steps, and the walk meeting it again is a loop.
ChainWalk walkChain(IExceptionHandler* first, const IExceptionHandler* target) {
    boost::shared_ptr<IExceptionHandler> held;
    IExceptionHandler* current = first;
    const IExceptionHandler* marker = first;
    unsigned long stepsSinceMarker = 0;
    unsigned long markerDistance = 1;
    for (;;) {
        if (current == target) {
            return ChainWalk{current, true};
        }
        held = current->getSuccessor();
        if (!held) {
            return ChainWalk{current, false};
        }
        current = held.get();
        if (current == marker) {
            return ChainWalk{nullptr, false};
        }
        if (++stepsSinceMarker == markerDistance) {
            marker = current;
            markerDistance *= 2;
            stepsSinceMarker = 0;
        }
    }
}

// Whether appending `successor` at the end of the chain that starts at `head` closes a loop:
// when the successor's chain reaches the last handler of head's chain. A chain that already
// runs in a loop has no end, and anything appended to it would join the loop.
bool closesLoop(IExceptionHandler& head, IExceptionHandler& successor) {
    const ChainWalk ours = walkChain(&head, nullptr);
    if (!ours.stop) {
        return true;
    }
    const ChainWalk theirs = walkChain(&successor, ours.stop);
    return theirs.metTarget || !theirs.stop;
}

} // namespace

AbstractExceptionHandler::AbstractExceptionHandler() {}

AbstractExceptionHandler::~AbstractExceptionHandler() {}

void AbstractExceptionHandler::resetSuccessor(
    const boost::shared_ptr<IExceptionHandler>& successor) {
    AutoLock<Lock> guard(successorLock);
    this->successor = successor;
}

// The check walks the chains before this handler's lock is taken, so it never waits for a
// lock while holding one.
void AbstractExceptionHandler::appendSuccessor(
    const boost::shared_ptr<IExceptionHandler>& successor) {
    const bool checked = !successor || checkedSuccessor == successor.get();
    if (!checked && closesLoop(*this, *successor)) {
        KrelIllegalArgumentException error(L"Successor to append is already in the chain.");
        error.logDebug(L"krel_std::AbstractExceptionHandler::appendSuccessor");
        throw error;
    }
    CheckedAppend scope(successor.get());
    AutoLock<Lock> guard(successorLock);
    if (this->successor) {
        this->successor->appendSuccessor(successor);
    } else {
        resetSuccessor(successor);
    }
}

boost::shared_ptr<IExceptionHandler> AbstractExceptionHandler::getSuccessor() {
    AutoLock<Lock> guard(successorLock);
    return successor;
}

IExceptionHandler::ExceptionState AbstractExceptionHandler::startHandling(const std::exception& e) {
    const ExceptionState state = handle(e);
    if (state != PassOn) {
        return state;
    }
    const boost::shared_ptr<IExceptionHandler> next = getSuccessor();
    return next ? next->startHandling(e) : PassOn;
}

} // namespace krel_std
