// ConfigurationListener, told of each change of a configuration file it listens to.
#pragma once

namespace krel_std {

class ConfigurationChangeEvent;

// Told of each change of a configuration file it listens to, on the thread that made the
// change or on the file watcher's thread for a change found in the file.
class ConfigurationListener {
public:
    virtual ~ConfigurationListener();

    virtual void onConfigChange(const ConfigurationChangeEvent& event) = 0;
};

} // namespace krel_std
