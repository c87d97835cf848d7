#include "base/Class.h"

#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

template class Singleton<Class>;

Class::Class() = default;

Class::~Class() = default;

const wchar_t* Class::getSingletonName() {
    return L"krel_std::Class";
}

void Class::registerClass(const std::wstring& name, const boost::shared_ptr<Object>& prototype) {
    registerObject(name, prototype);
}

bool Class::registerClassNoEx(const std::wstring& name,
                              const boost::shared_ptr<Object>& prototype) {
    try {
        registerObject(name, prototype);
        return true;
    } catch (const KrelIllegalArgumentException&) {
        return false;
    }
}

std::wstring Class::toString() const {
    return L"Class{}";
}

bool Class::validKey(const std::wstring& key) const {
    return !key.empty();
}

} // namespace krel_std
