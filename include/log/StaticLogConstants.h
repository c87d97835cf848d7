// The section and key names of the log configuration file.
#pragma once

#include <string>

namespace krel_std {

// Names used in a log configuration file ("<log name>.cfg"). Not instantiated.
class StaticLogConstants {
public:
    // "Debug Log": the section of the threshold.
    static const std::wstring debugSection;
    // "Threshold": a priority name; absent or unknown means INFO.
    static const std::wstring threshold;
    // "Log Appenders": the section of the module list and the appenders.
    static const std::wstring appenderSection;
    // "modules": log modules to load, separated by commas.
    static const std::wstring modules;
    // "class": the registered class of an appender.
    static const std::wstring className;
    // "appender.": the prefix of every appender key ("appender.<name>.<property>").
    static const std::wstring appenderPrefix;
    // "layout": the registered class of an appender's layout.
    static const std::wstring layoutName;
    // "filter": the registered class of an appender's filter.
    static const std::wstring filterName;
    // "NULL": no filter or layout.
    static const std::wstring nullClass;

private:
    StaticLogConstants();
    virtual ~StaticLogConstants();
};

} // namespace krel_std
