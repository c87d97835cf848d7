// IExceptionHandler, one link of a chain of handlers for caught exceptions.
#pragma once

#include <boost/shared_ptr.hpp>
#include <exception>

namespace krel_std {

// One link of a chain of responsibility for caught exceptions: each handler either settles an
// exception or passes it on to its successor.
class IExceptionHandler {
public:
    // A handler's answer. PassOn hands the exception to the successor; every other value ends
    // the chain and is the chain's answer.
    enum ExceptionState { Handled = 0, Rethrow = 1, PassOn = 2 };

    // The successor becomes `successor`; an empty pointer ends the chain after this handler.
    virtual void resetSuccessor(const boost::shared_ptr<IExceptionHandler>& successor) = 0;
    // Puts `successor` at the end of the chain that starts here.
    virtual void appendSuccessor(const boost::shared_ptr<IExceptionHandler>& successor) = 0;
    virtual boost::shared_ptr<IExceptionHandler> getSuccessor() = 0;
    // Hands `e` along the chain, starting with this handler; answers the first answer that is
    // not PassOn, or PassOn when every handler passed it on.
    virtual ExceptionState startHandling(const std::exception& e) = 0;

protected:
    // Handlers are owned and destroyed through their concrete type (shared pointers keep it).
    ~IExceptionHandler() = default;
};

} // namespace krel_std
