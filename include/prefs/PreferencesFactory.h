// PreferencesFactory, the factory of one back end's two tree roots.
#pragma once

#include <boost/shared_ptr.hpp>

namespace krel_std {

class Preferences;

// The factory of one preferences back end: it hands out that back end's two tree roots. A
// factory is registered in the class registry under its dotted class name and chosen by that
// name (see Preferences::userRoot). It declares no virtual destructor: factories are owned
// through the class registry's shared pointers, which know the concrete type.
class PreferencesFactory {
public:
    virtual boost::shared_ptr<Preferences> systemRoot() = 0;
    virtual boost::shared_ptr<Preferences> userRoot() = 0;
};

} // namespace krel_std
