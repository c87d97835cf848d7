// RegistryPreferencesFactory, the factory of the registry back end, the default one.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/AutoRegisterClass.h"
#include "prefs/PreferencesFactory.h"

namespace krel_std {

// The factory of the registry back end, registered as "krel_std.RegistryPreferencesFactory"
// and used when neither the environment nor the system properties name another factory.
class RegistryPreferencesFactory : public PreferencesFactory,
                                   public AutoRegisterClass<RegistryPreferencesFactory> {
public:
    RegistryPreferencesFactory();
    ~RegistryPreferencesFactory() override;

    // "RegistryPreferencesFactory{}".
    std::wstring toString() const override;
    std::wstring getClassName() const override;
    static std::wstring getClassNameStatic();

    // The root of the tree on HKEY_LOCAL_MACHINE.
    boost::shared_ptr<Preferences> systemRoot() override;
    // The root of the tree on HKEY_CURRENT_USER.
    boost::shared_ptr<Preferences> userRoot() override;
};

} // namespace krel_std
