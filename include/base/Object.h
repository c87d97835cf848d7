// Object, the root of the library's classes: a virtual destructor and a text form.
#pragma once

#include <string>

namespace krel_std {

// Root of the library's classes: a virtual destructor and a text form. Classes that override
// toString print their short name followed by their fields in braces ("Lock{}").
class Object {
public:
    Object() = default;
    Object(const Object&) = default;
    // Assignment copies nothing: an Object has no state of its own.
    Object& operator=(const Object&) { return *this; }
    virtual ~Object();

    virtual std::wstring toString() const;
};

} // namespace krel_std
