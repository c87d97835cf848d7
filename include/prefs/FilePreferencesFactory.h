// FilePreferencesFactory, the factory of the file preferences back end.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/AutoRegisterClass.h"
#include "prefs/PreferencesFactory.h"

namespace krel_std {

// The factory of the file preferences back end, registered by the load hook as
// "krel_std.FilePreferencesFactory": its roots are FilePreferences' user and system roots. It
// holds no data.
class FilePreferencesFactory : public PreferencesFactory,
                               public AutoRegisterClass<FilePreferencesFactory> {
public:
    FilePreferencesFactory();
    ~FilePreferencesFactory() override;

    // "FilePreferencesFactory{}".
    std::wstring toString() const override;
    // "krel_std.FilePreferencesFactory".
    std::wstring getClassName() const override;
    static std::wstring getClassNameStatic();

    boost::shared_ptr<Preferences> systemRoot() override;
    boost::shared_ptr<Preferences> userRoot() override;
};

} // namespace krel_std
