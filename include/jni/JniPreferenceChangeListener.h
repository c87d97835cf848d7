// JniPreferenceChangeListener, which queues a monitored key's changes for Java.
#pragma once

#include <boost/shared_ptr.hpp>

#include "prefs/PreferenceChangeListener.h"

namespace krel_std {

// Turns each preference change of a monitored key into a PreferenceChangeJniCallback on the Java
// callback queue: root 0x80000001 for a user node and 0x80000002 for a system node, the node's
// absolute path without its leading '/' and with '\' for '/', the key and the new value.
// What cannot be queued (a shut-down queue, an empty key, a root node's empty path) is dropped
// silently.
class JniPreferenceChangeListener final : public PreferenceChangeListener {
public:
    void preferenceChange(const boost::shared_ptr<PreferenceChangeEvent>& event) override;
};

} // namespace krel_std
