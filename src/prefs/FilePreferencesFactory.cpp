#include "prefs/FilePreferencesFactory.h"

#include "prefs/FilePreferences.h"

namespace krel_std {

FilePreferencesFactory::FilePreferencesFactory() = default;

FilePreferencesFactory::~FilePreferencesFactory() = default;

std::wstring FilePreferencesFactory::toString() const {
    return L"FilePreferencesFactory{}";
}

std::wstring FilePreferencesFactory::getClassName() const {
    return getClassNameStatic();
}

std::wstring FilePreferencesFactory::getClassNameStatic() {
    return L"krel_std.FilePreferencesFactory";
}

boost::shared_ptr<Preferences> FilePreferencesFactory::systemRoot() {
    return FilePreferences::getSystemRoot();
}

boost::shared_ptr<Preferences> FilePreferencesFactory::userRoot() {
    return FilePreferences::getUserRoot();
}

} // namespace krel_std
