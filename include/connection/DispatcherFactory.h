// The process's dispatchers by key.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "base/Object.h"
#include "connection/IDispatcher.h"
#include "pattern/Singleton.h"
#include "thread/Lock.h"

namespace krel_std {

// Makes one dispatcher per key and keeps it until the process ends, so every caller that asks
// for a key meets the same dispatcher. Singleton<DispatcherFactory>::getInstance() answers the
// one factory. Its lock is never held while a dispatcher's lock is taken.
class DispatcherFactory : public Singleton<DispatcherFactory>,
                          public Object,
                          private boost::noncopyable {
public:
    ~DispatcherFactory() override;

    // "DispatcherFactory{}".
    std::wstring toString() const override;
    // The dispatcher of the key, made on first request. Throws KrelIllegalArgumentException
    // "Key value is empty." for an empty key.
    boost::shared_ptr<IDispatcher> getDispatcher(const std::wstring& key);
    // Whether a dispatcher of the key has been made; false for an empty key.
    bool isValidKey(const std::wstring& key);

private:
    friend class Singleton<DispatcherFactory>;

    DispatcherFactory();

    static const wchar_t* getSingletonName();
    // Guards the map of every factory; made on first use and never destroyed.
    static Lock& lock();

    std::map<std::wstring, boost::shared_ptr<IDispatcher>> dispatchers;
};

extern template class Singleton<DispatcherFactory>;

} // namespace krel_std
