// VersionInfo, the version information of one module.
#pragma once

#include <map>
#include <set>
#include <string>

namespace krel_std {

// The version information of one module: named values (product, version, build and the like)
// ordered by key. A copyable value.
class VersionInfo {
public:
    // An empty module name and no values.
    VersionInfo();
    explicit VersionInfo(const std::wstring& moduleName);
    virtual ~VersionInfo();

    std::wstring getModuleName() const;
    // The key's value. Throws KrelIllegalArgumentException "Key name is empty" for an empty key
    // and "Key not found" for a key without value.
    std::wstring getValue(const std::wstring& key) const;
    // Inserts or replaces the key's value; an empty key throws as getValue does.
    void setValue(const std::wstring& key, const std::wstring& value);
    std::set<std::wstring> getKeys() const;

private:
    std::wstring moduleName;
    std::map<std::wstring, std::wstring> values;
};

} // namespace krel_std
