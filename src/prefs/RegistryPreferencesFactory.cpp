#include "prefs/RegistryPreferencesFactory.h"

#include "prefs/RegistryPreferences.h"

namespace krel_std {

RegistryPreferencesFactory::RegistryPreferencesFactory() {}

RegistryPreferencesFactory::~RegistryPreferencesFactory() {}

std::wstring RegistryPreferencesFactory::toString() const {
    return L"RegistryPreferencesFactory{}";
}

std::wstring RegistryPreferencesFactory::getClassName() const {
    return getClassNameStatic();
}

std::wstring RegistryPreferencesFactory::getClassNameStatic() {
    return L"krel_std.RegistryPreferencesFactory";
}

boost::shared_ptr<Preferences> RegistryPreferencesFactory::systemRoot() {
    return RegistryPreferences::getSystemRoot();
}

boost::shared_ptr<Preferences> RegistryPreferencesFactory::userRoot() {
    return RegistryPreferences::getUserRoot();
}

} // namespace krel_std
