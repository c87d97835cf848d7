// Executors, static helpers of the task interfaces.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"
#include "thread/Callable.h"
#include "thread/Runnable.h"
#include "thread/ThreadFactory.h"

namespace krel_std {

// Static helpers of the task interfaces.
class Executors : public Object {
public:
    // A Callable that runs a Runnable and answers a fixed result.
    template <typename T> class RunnableAdapter : public Callable<T> {
    public:
        RunnableAdapter(const boost::shared_ptr<Runnable>& work, T answer)
            : task(work), result(answer) {}

        std::wstring toString() const override { return L"Callable{}"; }

        T call() override {
            task->run();
            return result;
        }

    private:
        boost::shared_ptr<Runnable> task;
        T result;
    };

    ~Executors() override;

    // "Executors{}".
    std::wstring toString() const override;

    // A Callable that runs the task and answers null. Throws KrelIllegalArgumentException
    // "Task value is NULL." for an empty pointer.
    static boost::shared_ptr<Callable<void*>> callable(const boost::shared_ptr<Runnable>& task);

    static boost::shared_ptr<ThreadFactory> defaultThreadFactory(const std::wstring& prefix);
};

} // namespace krel_std
