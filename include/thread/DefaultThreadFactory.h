// DefaultThreadFactory, a thread factory that names its threads by pool and number.
#pragma once

#include <string>

#include "thread/AtomicInteger.h"
#include "thread/ThreadFactory.h"

namespace krel_std {

// Names its threads prefix + "-thread-" + thread number, or, with an empty prefix,
// "pool-" + pool number + "-thread-" + thread number. The pool number is shared by all
// factories of the process and never reset; each factory counts its threads from 0.
class DefaultThreadFactory : public ThreadFactory {
public:
    explicit DefaultThreadFactory(const std::wstring& prefix = std::wstring());
    ~DefaultThreadFactory() override;

    // "DefaultThreadFactory{namePrefix='pool-0-thread-'}".
    std::wstring toString() const override;

    // A new thread that runs the runnable and joins on destruction. Throws
    // KrelIllegalArgumentException "Runnable value is NULL." for an empty pointer.
    boost::shared_ptr<Thread> newThread(const boost::shared_ptr<Runnable>& runnable) override;

private:
    AtomicInteger threadNumber;
    std::wstring namePrefix;
};

} // namespace krel_std
