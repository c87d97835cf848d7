#include "prefs/Preferences.h"

#include "base/Class.h"
#include "exception/KrelAccessException.h"
#include "log/KrelLoggerSTD.h"
#include "prefs/PreferencesFactory.h"
#include "prefs/PreferencesXmlReader.h"
#include "system/KrelSystem.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

const wchar_t* const FACTORY_VARIABLE = L"default.PreferencesFactory";

// Serialises the factory lookup and guards the remembered name; made on first use and never
// destroyed.
Lock& factoryLock() {
    static Lock& lock = *new Lock;
    return lock;
}

// The factory name of the previous successful getFactory call.
std::wstring& lastFactoryName() {
    static std::wstring& name = *new std::wstring;
    return name;
}

} // namespace

Preferences::Preferences() = default;

Preferences::~Preferences() = default;

const std::wstring& Preferences::defaultFactory() {
    static const std::wstring& name = *new std::wstring(L"krel_std.RegistryPreferencesFactory");
    return name;
}

boost::shared_ptr<PreferencesFactory>& Preferences::factory() {
    static boost::shared_ptr<PreferencesFactory>& current =
        *new boost::shared_ptr<PreferencesFactory>;
    return current;
}

boost::shared_ptr<PreferencesFactory> Preferences::getFactory() {
    const wchar_t* const context = L"krel_std::Preferences::getFactory";
    KrelSystem& system = KrelSystem::getInstance();
    std::wstring name = system.getEnv(FACTORY_VARIABLE);
    if (name.empty()) {
        name = system.getProperty(FACTORY_VARIABLE, defaultFactory());
    }
    if (name.empty()) {
        name = defaultFactory();
    }
    bool changed = false;
    boost::shared_ptr<PreferencesFactory> found;
    {
        AutoLock<Lock> guard(factoryLock());
        factory() = Class::getInstance().getObject<PreferencesFactory>(name);
        if (!factory()) {
            KrelAccessException exception(L"Unable to get PreferencesFactory named <" + name +
                                          L">.");
            exception.logDebug(context);
            throw exception;
        }
        if (name != lastFactoryName()) {
            lastFactoryName() = name;
            changed = true;
        }
        found = factory();
    }
    if (changed) {
        Singleton<KrelLoggerSTD>::getInstance().STD0002(context, name);
    }
    return found;
}

boost::shared_ptr<Preferences> Preferences::systemRoot() {
    return getFactory()->systemRoot();
}

boost::shared_ptr<Preferences> Preferences::userRoot() {
    return getFactory()->userRoot();
}

void Preferences::importPreferences(const std::wstring& fileName) {
    PreferencesXmlReader reader(fileName);
    reader.importPreferences();
}

} // namespace krel_std
