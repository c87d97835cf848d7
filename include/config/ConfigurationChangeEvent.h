// ConfigurationChangeEvent, one key of a configuration file added, removed or changed.
#pragma once

#include <string>

#include "base/Object.h"
#include "file/File.h"

namespace krel_std {

// One change of one key of a configuration file: added, removed or changed.
class ConfigurationChangeEvent : public Object {
public:
    enum ChangeType { Added = 0, Removed = 1, Changed = 2 };

    // The value is the new value for Added and Changed, the old one for Removed. A type
    // above Changed throws KrelIllegalArgumentException "Invalid value for configuration change
    // type enumeration.".
    ConfigurationChangeEvent(const File& path, ChangeType type, const std::wstring& section,
                             const std::wstring& key, const std::wstring& value);
    ConfigurationChangeEvent(const ConfigurationChangeEvent& other) = default;
    ConfigurationChangeEvent& operator=(const ConfigurationChangeEvent& other) = default;
    ~ConfigurationChangeEvent() override;

    // "ConfigurationChangeEvent{path='...',event='Added',section='...',key='...',value='...'}".
    std::wstring toString() const override;

    File getPath() const;
    ChangeType getEventType() const;
    // The same as getEventType.
    ChangeType getType() const;
    std::wstring getSection() const;
    std::wstring getKey() const;
    std::wstring getValue() const;

    // "Added", "Removed" or "Changed".
    static std::wstring typeToString(ChangeType type);

private:
    File path;
    ChangeType type;
    std::wstring section;
    std::wstring key;
    std::wstring value;
};

} // namespace krel_std
