#include "config/ConfigUtils.h"

#include "base/StringUtils.h"

namespace krel_std {

ConfigUtils::PropertyMap ConfigUtils::getTrimmedPrefixSubset(const PropertyMap& properties,
                                                             const std::wstring& prefix) {
    PropertyMap subset;
    for (const PropertyMap::value_type& entry : properties) {
        if (entry.first.size() > prefix.size() && StringUtils::hasPrefix(entry.first, prefix)) {
            subset[StringUtils::trimPrefix(entry.first, prefix)] = entry.second;
        }
    }
    return subset;
}

} // namespace krel_std
