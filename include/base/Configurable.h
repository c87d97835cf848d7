// Configurable, the base of objects built by class name from a property map.
#pragma once

#include <map>
#include <string>

#include "base/Object.h"

namespace krel_std {

// Base of everything built by class name from a property map (appenders, filters, layouts,
// file headers): a registered prototype makes configured instances of its own class.
class Configurable : public Object {
public:
    Configurable() = default;
    Configurable(const Configurable&) = default;
    Configurable& operator=(const Configurable&) = default;
    ~Configurable() override;

    // A new object of this class configured from the properties; the caller owns it.
    virtual Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) = 0;

    // Changes one property of a live object; does nothing unless a class overrides it.
    virtual void setProperty(const std::wstring& key, const std::wstring& value);
};

} // namespace krel_std
