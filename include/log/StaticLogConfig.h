// The log configuration file of the static log.
#pragma once

#include <boost/shared_ptr.hpp>
#include <map>
#include <string>

#include "config/ConfigurationListener.h"
#include "config/KrelConfig.h"
#include "log/ILogAppender.h"

namespace krel_std {

// Reads the log configuration file "<log name>.cfg" of the configuration directory (the paths
// provider's "System Config Path Key", by default "../config"): the threshold, the log modules
// and the appenders (see StaticLogConstants for the names). Afterwards it follows the file: a
// changed threshold takes effect at once, and a changed appender property, or a changed entry
// that a property refers to ("{section,key}" or "{key}"), is handed to the running appender.
// Appenders are neither added nor removed while running.
class StaticLogConfig : public ConfigurationListener {
public:
    using AppenderMap = std::map<std::wstring, boost::shared_ptr<ILogAppender>>;
    using PropertyMap = std::map<std::wstring, std::wstring>;
    using AppenderPropertyMap = std::map<std::wstring, PropertyMap>;

    // Listens to its own (still pathless) configuration file.
    StaticLogConfig();
    ~StaticLogConfig() override;
    StaticLogConfig(const StaticLogConfig&) = delete;
    StaticLogConfig& operator=(const StaticLogConfig&) = delete;

    // Applies one change of the file. A KrelException of the change (an appender refusing a
    // property, for example) is traced and dropped, so a bad edit never ends the file
    // watcher's report; an appender's property is changed under the static log's lock.
    void onConfigChange(const ConfigurationChangeEvent& event) override;

    // Finds and loads the file of the log name, then loadThreshold, loadModules and
    // loadAppenders. A file that cannot be loaded throws KrelIOException "Unable to load
    // StaticLog config file." with the cause.
    void initialize(const std::wstring& name);
    // "Threshold" of "Debug Log" becomes the static log's threshold (INFO when absent or not
    // a priority name).
    void loadThreshold();
    // Loads each module of the comma-separated "modules" list of "Log Appenders". A module
    // that cannot be located is traced and skipped; other failures pass to the caller.
    void loadModules();
    // Builds every configured appender in order of name; one that cannot be built is traced
    // and skipped.
    void loadAppenders();

    // The properties of each appender from the keys "appender.<name>.<property>" of "Log
    // Appenders", references resolved.
    AppenderPropertyMap getAppenderProperties();
    // The appenders built by loadAppenders, ordered by name.
    const AppenderMap& getAppenders() const;
    // The configuration file this object reads and follows.
    KrelConfig& getConfig();

    // The value of the entry that "{section,key}" or "{key}" (the unnamed section) refers to;
    // any other value as it is.
    std::wstring evaluate(const std::wstring& value);
    // Whether the value is a reference to that entry.
    bool isAliasOf(const std::wstring& value, const std::wstring& section, const std::wstring& key);

private:
    // Splits "appender.<name>.<property>"; false for a key of any other form.
    static bool splitAppenderKey(const std::wstring& key, std::wstring& appender,
                                 std::wstring& property);
    void applyChange(const ConfigurationChangeEvent& event);
    void changeThreshold(const ConfigurationChangeEvent& event);
    void changeAppenderEntry(const ConfigurationChangeEvent& event);
    void changeReferencedEntry(const ConfigurationChangeEvent& event);
    // Hands the new value to the named appender, if it was built.
    void setAppenderProperty(const std::wstring& appender, const std::wstring& property,
                             const std::wstring& value);

    AppenderMap appenders;
    KrelConfig config;
};

} // namespace krel_std
