// ConfigUtils, static helpers on configuration properties.
#pragma once

#include <map>
#include <string>

namespace krel_std {

// Static helpers on configuration properties.
class ConfigUtils {
public:
    typedef std::map<std::wstring, std::wstring> PropertyMap;

    // The entries whose key begins with the prefix and is longer than it, with the prefix
    // removed from the key: { "filter.level": "DEBUG" } with "filter." gives { "level": "DEBUG" }.
    static PropertyMap getTrimmedPrefixSubset(const PropertyMap& properties,
                                              const std::wstring& prefix);

private:
    ConfigUtils();
};

} // namespace krel_std
