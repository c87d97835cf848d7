#include "connection/DispatcherFactory.h"

#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "connection/Dispatcher.h"
#include "thread/AutoLock.h"

namespace krel_std {

template class Singleton<DispatcherFactory>;

DispatcherFactory::DispatcherFactory() {}

DispatcherFactory::~DispatcherFactory() {}

const wchar_t* DispatcherFactory::getSingletonName() {
    return L"krel_std::DispatcherFactory";
}

Lock& DispatcherFactory::lock() {
    static Lock& factoryLock = *new Lock;
    return factoryLock;
}

std::wstring DispatcherFactory::toString() const {
    return L"DispatcherFactory{}";
}

boost::shared_ptr<IDispatcher> DispatcherFactory::getDispatcher(const std::wstring& key) {
    static const wchar_t* const context = L"krel_std::DispatcherFactory::getDispatcher";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls>.", key.c_str());
    ErrorUtils::isEmptyEx(key, context, L"Key");
    AutoLock<Lock> guard(lock());
    const auto found = dispatchers.find(key);
    if (found != dispatchers.end()) {
        return found->second;
    }
    const boost::shared_ptr<IDispatcher> dispatcher(new Dispatcher(key));
    dispatchers.emplace(key, dispatcher);
    return dispatcher;
}

bool DispatcherFactory::isValidKey(const std::wstring& key) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::DispatcherFactory::isValidKey", L"Begin. Key <%ls>.",
                          key.c_str());
    AutoLock<Lock> guard(lock());
    return dispatchers.find(key) != dispatchers.end();
}

} // namespace krel_std
