#include "exception/AbstractExceptionHandler.h"

#include "thread/AutoLock.h"

namespace krel_std {

AbstractExceptionHandler::AbstractExceptionHandler() {}

AbstractExceptionHandler::~AbstractExceptionHandler() {}

void AbstractExceptionHandler::resetSuccessor(
    const boost::shared_ptr<IExceptionHandler>& successor) {
    AutoLock<Lock> guard(successorLock);
    this->successor = successor;
}

void AbstractExceptionHandler::appendSuccessor(
    const boost::shared_ptr<IExceptionHandler>& successor) {
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
