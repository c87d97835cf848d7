// Class, the class registry: prototype objects by dotted class name, for the whole process.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"
#include "base/ObjectFactory.h"
#include "pattern/Singleton.h"

namespace krel_std {

// The class registry: the process-wide table of prototype objects keyed by dotted class names
// such as "krel_std.RollingFileAppender". Reached through Class::getInstance(); prototypes stay
// registered for the life of the process.
class Class : public Singleton<Class>,
              private boost::noncopyable,
              public Object,
              public ObjectFactory<std::wstring> {
public:
    ~Class() override;

    // Enters the prototype under name; throws as ObjectFactory::registerObject does.
    void registerClass(const std::wstring& name, const boost::shared_ptr<Object>& prototype);

    // As registerClass, but answers false instead of throwing KrelIllegalArgumentException
    // (empty prototype, empty name, name taken). Other exceptions pass to the caller.
    bool registerClassNoEx(const std::wstring& name, const boost::shared_ptr<Object>& prototype);

    std::wstring toString() const override;

protected:
    // A name is valid when it is not empty.
    bool validKey(const std::wstring& key) const override;

private:
    friend class Singleton<Class>;

    Class();

    static const wchar_t* getSingletonName();
};

extern template class Singleton<Class>;

} // namespace krel_std
