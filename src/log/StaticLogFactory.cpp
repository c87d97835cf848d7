#include "log/StaticLogFactory.h"

#include "base/Class.h"
#include "base/ErrorUtils.h"
#include "config/ConfigUtils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "library/KrelLibrary.h"
#include "log/StaticLogConstants.h"
#include "thread/AutoLock.h"

namespace krel_std {

template class Singleton<StaticLogFactory>;

namespace {

template <typename E> [[noreturn]] void raise(E exception, const wchar_t* context) {
    exception.logDebug(context);
    throw exception;
}

// The registry's prototype of that name as the wanted kind; a missing name and a prototype of
// another kind are both "not found".
template <typename T>
boost::shared_ptr<T> findPrototype(const std::wstring& className, const wchar_t* context) {
    const boost::shared_ptr<T> prototype = Class::getInstance().getObject<T>(className);
    if (!prototype) {
        raise(KrelObjectNotFoundException(L"Could not find class for name: " + className), context);
    }
    return prototype;
}

// The property's value, or the empty text when it is absent.
std::wstring propertyOf(const StaticLogFactory::PropertyMap& properties, const std::wstring& key) {
    const auto found = properties.find(key);
    return found != properties.end() ? found->second : std::wstring();
}

// Takes ownership of what a prototype built; an object of another kind is released.
template <typename T> boost::shared_ptr<T> adopt(Configurable* created) {
    T* typed = dynamic_cast<T*>(created);
    if (typed == nullptr) {
        delete created;
    }
    return boost::shared_ptr<T>(typed);
}

} // namespace

StaticLogFactory::StaticLogFactory() = default;

StaticLogFactory::~StaticLogFactory() = default;

const wchar_t* StaticLogFactory::getSingletonName() {
    return L"StaticLogFactory";
}

boost::shared_ptr<ILogAppender> StaticLogFactory::createAppender(const std::wstring& name,
                                                                 const PropertyMap& properties) {
    static const wchar_t* const context = L"krel_std::StaticLogFactory::createAppender";
    ErrorUtils::isEmptyEx(name, context, L"name");
    const std::wstring className = propertyOf(properties, StaticLogConstants::className);
    if (className.empty()) {
        raise(KrelIllegalArgumentException(L"Appender class name cannot be empty."), context);
    }
    const boost::shared_ptr<ILogAppender> prototype =
        findPrototype<ILogAppender>(className, context);
    boost::shared_ptr<ILogAppender> appender;
    try {
        appender = adopt<ILogAppender>(prototype->newInstance(properties));
    } catch (const KrelException& e) {
        raise(KrelIllegalArgumentException(L"Could not create appender.", e), context);
    }
    if (!appender) {
        raise(KrelIllegalArgumentException(L"Could not create appender."), context);
    }
    appender->setFilter(createFilter(properties, name));
    appender->setLayout(createLayout(properties, name));

    AutoLock<Lock> guard(lock);
    appenders[name] = appender;
    return appender;
}

boost::shared_ptr<ILogEventFilter> StaticLogFactory::createFilter(const PropertyMap& properties,
                                                                  const std::wstring&) {
    static const wchar_t* const context = L"krel_std::StaticLogFactory::createFilter";
    const std::wstring className = propertyOf(properties, StaticLogConstants::filterName);
    if (className.empty() || className == StaticLogConstants::nullClass) {
        raise(KrelIllegalArgumentException(L"Filter cannot be NULL!"), context);
    }
    const boost::shared_ptr<ILogEventFilter> prototype =
        findPrototype<ILogEventFilter>(className, context);
    return adopt<ILogEventFilter>(prototype->newInstance(
        ConfigUtils::getTrimmedPrefixSubset(properties, StaticLogConstants::filterName + L".")));
}

boost::shared_ptr<ILogEventLayout> StaticLogFactory::createLayout(const PropertyMap& properties,
                                                                  const std::wstring&) {
    static const wchar_t* const context = L"krel_std::StaticLogFactory::createLayout";
    const std::wstring className = propertyOf(properties, StaticLogConstants::layoutName);
    if (className.empty() || className == StaticLogConstants::nullClass) {
        return boost::shared_ptr<ILogEventLayout>();
    }
    const boost::shared_ptr<ILogEventLayout> prototype =
        findPrototype<ILogEventLayout>(className, context);
    return adopt<ILogEventLayout>(prototype->newInstance(
        ConfigUtils::getTrimmedPrefixSubset(properties, StaticLogConstants::layoutName + L".")));
}

boost::shared_ptr<ILogAppender> StaticLogFactory::getAppender(const std::wstring& name) {
    ErrorUtils::isEmptyEx(name, L"krel_std::StaticLogFactory::getAppender", L"name");
    AutoLock<Lock> guard(lock);
    const auto found = appenders.find(name);
    return found != appenders.end() ? found->second : boost::shared_ptr<ILogAppender>();
}

bool StaticLogFactory::appenderExists(const std::wstring& name) {
    AutoLock<Lock> guard(lock);
    return appenders.find(name) != appenders.end();
}

void StaticLogFactory::removeAppender(const std::wstring& name) {
    AutoLock<Lock> guard(lock);
    appenders.erase(name);
}

bool StaticLogFactory::moduleLoaded(std::wstring name) {
    return libraries.find(name) != libraries.end();
}

void StaticLogFactory::loadModule(std::wstring name) {
    if (moduleLoaded(name)) {
        return;
    }
    const boost::shared_ptr<KrelLibrary> library(new KrelLibrary(name));
    libraries[name] = library;
}

void StaticLogFactory::unloadModule(std::wstring name) {
    libraries.erase(name);
}

} // namespace krel_std
