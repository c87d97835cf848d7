// ThreadFactory, which makes threads for a Runnable.
#pragma once

#include <boost/shared_ptr.hpp>

#include "base/Object.h"
#include "thread/Runnable.h"
#include "thread/Thread.h"

namespace krel_std {

// Makes threads for a Runnable.
class ThreadFactory : public Object {
public:
    ~ThreadFactory() override;

    // "ThreadFactory{}".
    std::wstring toString() const override;

    virtual boost::shared_ptr<Thread> newThread(const boost::shared_ptr<Runnable>& runnable) = 0;
};

} // namespace krel_std
