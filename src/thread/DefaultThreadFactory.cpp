#include "thread/DefaultThreadFactory.h"

#include "base/ErrorUtils.h"

namespace krel_std {

namespace {

AtomicInteger& poolNumber() {
    static AtomicInteger& number = *new AtomicInteger(0);
    return number;
}

std::wstring makePrefix(const std::wstring& prefix) {
    if (prefix.empty()) {
        return L"pool-" + std::to_wstring(poolNumber().getAndIncrement()) + L"-thread-";
    }
    return prefix + L"-thread-";
}

} // namespace

DefaultThreadFactory::DefaultThreadFactory(const std::wstring& prefix)
    : threadNumber(0), namePrefix(makePrefix(prefix)) {}

DefaultThreadFactory::~DefaultThreadFactory() {}

std::wstring DefaultThreadFactory::toString() const {
    return L"DefaultThreadFactory{namePrefix='" + namePrefix + L"'}";
}

boost::shared_ptr<Thread>
DefaultThreadFactory::newThread(const boost::shared_ptr<Runnable>& runnable) {
    ErrorUtils::isNullEx(runnable, L"krel_std::DefaultThreadFactory::newThread", L"Runnable");
    std::wstring name = namePrefix + std::to_wstring(threadNumber.getAndIncrement());
    return boost::shared_ptr<Thread>(new Thread(runnable, name));
}

} // namespace krel_std
