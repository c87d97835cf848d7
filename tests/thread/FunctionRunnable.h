#pragma once

#include <boost/shared_ptr.hpp>
#include <functional>

#include "thread/Runnable.h"

namespace sync_test {

// A Runnable that runs a function.
class FunctionRunnable : public krel_std::Runnable {
public:
    explicit FunctionRunnable(std::function<void()> work) : work(std::move(work)) {}
    void run() override { work(); }

private:
    std::function<void()> work;
};

inline boost::shared_ptr<krel_std::Runnable> runnable(std::function<void()> work) {
    return boost::shared_ptr<krel_std::Runnable>(new FunctionRunnable(std::move(work)));
}

} // namespace sync_test
