// AbstractExceptionHandler, an exception handler that keeps its successor in the chain.
#pragma once

#include "exception/IExceptionHandler.h"
#include "thread/Lock.h"

namespace krel_std {

// Keeps the successor of an exception handler; a concrete handler implements handle().
// Changes of the successor are guarded by a recursive lock, so a handle() that changes its own
// handler's successor does not block itself. startHandling takes a copy of the successor under
// the lock and calls it after releasing the lock, so a chain may be changed while exceptions
// travel along it.
class AbstractExceptionHandler : public IExceptionHandler {
public:
    AbstractExceptionHandler();
    AbstractExceptionHandler(const AbstractExceptionHandler&) = delete;
    AbstractExceptionHandler& operator=(const AbstractExceptionHandler&) = delete;

    void resetSuccessor(const boost::shared_ptr<IExceptionHandler>& successor) override;
    // Throws KrelIllegalArgumentException "Successor to append is already in the chain." when
    // the successor, or a handler down its own chain, is already in this chain (the chain would
    // then run in a loop), and leaves the chain as it was. The check is made when the call
    // begins; appends that race with each other are not checked against each other.
    void appendSuccessor(const boost::shared_ptr<IExceptionHandler>& successor) override;
    boost::shared_ptr<IExceptionHandler> getSuccessor() override;
    ExceptionState startHandling(const std::exception& e) override;

    virtual ~AbstractExceptionHandler();

    // Settles `e` (any answer but PassOn) or passes it on (PassOn).
    virtual ExceptionState handle(const std::exception& e) = 0;

private:
    boost::shared_ptr<IExceptionHandler> successor;
    Lock successorLock;
};

} // namespace krel_std
