// Executor, the interface of what runs submitted tasks.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "thread/Runnable.h"

namespace krel_std {

// Runs submitted tasks. The library implements no executor itself.
class Executor {
public:
    virtual ~Executor();

    // "Executor{}".
    virtual std::wstring toString() const;

    virtual void execute(const boost::shared_ptr<Runnable>& command) = 0;
};

} // namespace krel_std
