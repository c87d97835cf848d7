#include "config/ConfigurationChangeEvent.h"

#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

namespace {

ConfigurationChangeEvent::ChangeType checkedType(ConfigurationChangeEvent::ChangeType type) {
    if (static_cast<unsigned int>(type) > ConfigurationChangeEvent::Changed) {
        throw KrelIllegalArgumentException(
            L"Invalid value for configuration change type enumeration.");
    }
    return type;
}

} // namespace

ConfigurationChangeEvent::ConfigurationChangeEvent(const File& path, ChangeType type,
                                                   const std::wstring& section,
                                                   const std::wstring& key,
                                                   const std::wstring& value)
    : path(path), type(checkedType(type)), section(section), key(key), value(value) {}

ConfigurationChangeEvent::~ConfigurationChangeEvent() {}

std::wstring ConfigurationChangeEvent::toString() const {
    return L"ConfigurationChangeEvent{path='" + path.getPath() + L"',event='" + typeToString(type) +
           L"',section='" + section + L"',key='" + key + L"',value='" + value + L"'}";
}

File ConfigurationChangeEvent::getPath() const {
    return path;
}

ConfigurationChangeEvent::ChangeType ConfigurationChangeEvent::getEventType() const {
    return type;
}

ConfigurationChangeEvent::ChangeType ConfigurationChangeEvent::getType() const {
    return type;
}

std::wstring ConfigurationChangeEvent::getSection() const {
    return section;
}

std::wstring ConfigurationChangeEvent::getKey() const {
    return key;
}

std::wstring ConfigurationChangeEvent::getValue() const {
    return value;
}

std::wstring ConfigurationChangeEvent::typeToString(ChangeType type) {
    switch (type) {
    case Added:
        return L"Added";
    case Removed:
        return L"Removed";
    case Changed:
        return L"Changed";
    }
    return std::wstring();
}

} // namespace krel_std
