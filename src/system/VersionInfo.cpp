#include "system/VersionInfo.h"

#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

namespace {

void requireKey(const std::wstring& key) {
    if (key.empty()) {
        throw KrelIllegalArgumentException(L"Key name is empty");
    }
}

} // namespace

VersionInfo::VersionInfo() = default;

VersionInfo::VersionInfo(const std::wstring& moduleName) : moduleName(moduleName) {}

VersionInfo::~VersionInfo() = default;

std::wstring VersionInfo::getModuleName() const {
    return moduleName;
}

std::wstring VersionInfo::getValue(const std::wstring& key) const {
    requireKey(key);
    const auto found = values.find(key);
    if (found == values.end()) {
        throw KrelIllegalArgumentException(L"Key not found");
    }
    return found->second;
}

void VersionInfo::setValue(const std::wstring& key, const std::wstring& value) {
    requireKey(key);
    values[key] = value;
}

std::set<std::wstring> VersionInfo::getKeys() const {
    std::set<std::wstring> keys;
    for (const auto& entry : values) {
        keys.insert(keys.end(), entry.first);
    }
    return keys;
}

} // namespace krel_std
