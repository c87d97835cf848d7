// PreferenceChangeListener, told of each change of a preference it is registered for.
#pragma once

#include <boost/shared_ptr.hpp>

namespace krel_std {

class PreferenceChangeEvent;

// Told of each change of a preference it is registered for. It is called on the preference
// change notifier's dispatch thread only, with no lock of the library held, so it may register
// or remove listeners and queue events itself.
//
// There is deliberately no virtual destructor: listeners are owned through boost::shared_ptr,
// which destroys them as their own type.
class PreferenceChangeListener {
public:
    virtual void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) = 0;
};

} // namespace krel_std
