// AutoRegisterClass, the base of classes found by their dotted name in the class registry.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Class.h"
#include "base/Object.h"

namespace krel_std {

// Base of every class that can be found by its dotted name in the class registry. T derives
// from its own interface and from AutoRegisterClass<T>, has a default constructor reachable
// from AutoRegisterClass<T> (a class with a protected one declares AutoRegisterClass<T> a
// friend) and answers getClassName() with its dotted name, such as "krel_std.Paths".
template <class T> class AutoRegisterClass : public Object {
public:
    AutoRegisterClass() = default;
    AutoRegisterClass(const AutoRegisterClass&) = default;
    AutoRegisterClass& operator=(const AutoRegisterClass&) = default;
    ~AutoRegisterClass() override = default;

    virtual std::wstring getClassName() const = 0;

    // Makes one T and enters it in the class registry under its class name. A name already
    // taken keeps the earlier prototype; the new one is released.
    static void registerClass();
};

template <class T> void AutoRegisterClass<T>::registerClass() {
    const boost::shared_ptr<AutoRegisterClass<T>> prototype(new T);
    Class::getInstance().registerClassNoEx(prototype->getClassName(), prototype);
}

} // namespace krel_std
