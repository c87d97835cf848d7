#include "thread/Executors.h"

#include "base/ErrorUtils.h"
#include "thread/DefaultThreadFactory.h"

namespace krel_std {

Executors::~Executors() {}

std::wstring Executors::toString() const {
    return L"Executors{}";
}

boost::shared_ptr<Callable<void*>> Executors::callable(const boost::shared_ptr<Runnable>& task) {
    ErrorUtils::isNullEx(task, L"krel_std::Executors::callable", L"Task");
    return boost::shared_ptr<Callable<void*>>(new RunnableAdapter<void*>(task, nullptr));
}

boost::shared_ptr<ThreadFactory> Executors::defaultThreadFactory(const std::wstring& prefix) {
    return boost::shared_ptr<ThreadFactory>(new DefaultThreadFactory(prefix));
}

} // namespace krel_std
