// IEventListener, the receiver of the events a dispatcher hands on.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/IEvent.h"
#include "base/Object.h"

namespace krel_std {

// Receives the events a dispatcher hands on, on the dispatching thread.
class IEventListener : public Object {
public:
    ~IEventListener() override;

    virtual void submit(const boost::shared_ptr<IEvent>& event) = 0;
};

} // namespace krel_std
