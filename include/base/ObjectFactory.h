// ObjectFactory, a keyed table of shared objects under a read-write lock.
#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "base/ErrorUtils.h"
#include "base/Object.h"
#include "exception/KrelIllegalArgumentException.h"
#include "thread/ReadWriteLock.h"

namespace krel_std {

// A keyed table of shared objects under a read-write lock. A key is entered at most once and an
// entry is never replaced or removed while the factory lives; lookups run side by side under
// the read lock. The library instantiates it with std::wstring keys only.
template <class K> class ObjectFactory {
public:
    ObjectFactory() : lock(32) {}
    ObjectFactory(const ObjectFactory&) = delete;
    ObjectFactory& operator=(const ObjectFactory&) = delete;
    virtual ~ObjectFactory();

    // Enters object under key. Throws KrelIllegalArgumentException for an empty object
    // ("Object value is NULL."), a key refused by validKey ("Specified key is invalid: " and the
    // key) or a key already present ("Object already exists for key: " and the key).
    void registerObject(const K& key, const boost::shared_ptr<Object>& object);

    // The entry under key as a T (a run-time cast to the wanted interface); empty when the key
    // is absent or the entry is not a T. Never throws for an absent key.
    template <class T> boost::shared_ptr<T> getObject(const K& key);

protected:
    virtual bool validKey(const K& key) const;

private:
    static constexpr const wchar_t* registerObjectContext =
        L"krel_std::ObjectFactory<class std::basic_string<wchar_t,struct "
        L"std::char_traits<wchar_t>,class std::allocator<wchar_t> > >::registerObject";

    [[noreturn]] static void throwRefused(const std::wstring& message);

    std::map<K, boost::shared_ptr<Object>> objects;
    ReadWriteLock lock;
};

template <class K> ObjectFactory<K>::~ObjectFactory() {
    ReadWriteLock::WriterLock guard(lock);
    objects.clear();
}

template <class K>
void ObjectFactory<K>::registerObject(const K& key, const boost::shared_ptr<Object>& object) {
    ErrorUtils::isNullEx(object, registerObjectContext, L"Object");
    if (!validKey(key)) {
        throwRefused(L"Specified key is invalid: " + key);
    }
    ReadWriteLock::WriterLock guard(lock);
    if (objects.find(key) != objects.end()) {
        throwRefused(L"Object already exists for key: " + key);
    }
    objects.emplace(key, object);
}

template <class K>
template <class T>
boost::shared_ptr<T> ObjectFactory<K>::getObject(const K& key) {
    ReadWriteLock::ReaderLock guard(lock);
    const auto found = objects.find(key);
    if (found == objects.end()) {
        return boost::shared_ptr<T>();
    }
    return boost::dynamic_pointer_cast<T>(found->second);
}

template <class K> bool ObjectFactory<K>::validKey(const K&) const {
    return true;
}

template <class K> void ObjectFactory<K>::throwRefused(const std::wstring& message) {
    KrelIllegalArgumentException exception(message);
    exception.logDebug(registerObjectContext);
    throw exception;
}

} // namespace krel_std
