#include "log/StaticLogConfig.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <vector>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "log/LogDispatch.h"
#include "log/StaticLog.h"
#include "log/StaticLogConstants.h"
#include "log/StaticLogFactory.h"
#include "pattern/Singleton.h"
#include "system/Paths.h"

namespace krel_std {

namespace {

const wchar_t* const CHANGE_CONTEXT = L"krel_std::StaticLogConfig::onConfigChange";

template <typename... Args>
void traceChange(unsigned int line, const wchar_t* format, const Args&... arguments) {
    KREL_INTERNAL_TRACE_AT(CHANGE_CONTEXT, KREL_SOURCE_FILE, line, format, arguments...);
}

// A reference is "{...}" of at least three characters.
bool isReference(const std::wstring& value) {
    return value.size() >= 3 && value.front() == L'{' && value.back() == L'}';
}

std::wstring trimmed(std::wstring text) {
    return StringUtils::trimString(text);
}

// The section and key of a reference; the section is empty for "{key}".
void splitReference(const std::wstring& value, std::wstring& section, std::wstring& key) {
    const std::wstring inner = value.substr(1, value.size() - 2);
    const std::wstring::size_type comma = inner.find(L',');
    if (comma == std::wstring::npos) {
        section.clear();
        key = trimmed(inner);
        return;
    }
    section = trimmed(inner.substr(0, comma));
    key = trimmed(inner.substr(comma + 1));
}

} // namespace

StaticLogConfig::StaticLogConfig() {
    config.addConfigurationListener(boost::shared_ptr<ConfigurationListener>(this, null_deleter()));
}

StaticLogConfig::~StaticLogConfig() = default;

void StaticLogConfig::initialize(const std::wstring& name) {
    const std::wstring directory =
        Paths::getInstance()->getPath(L"System Config Path Key", L"../config");
    const std::wstring path = File(directory, name + L".cfg").getCanonicalPath();
    KREL_INTERNAL_DEBUG(L"krel_std::StaticLogConfig::initialize", L"Using config file: '%ls'",
                        path.c_str());
    config.setPath(File(path));
    try {
        config.load();
    } catch (const KrelException& e) {
        KrelIOException failure(L"Unable to load StaticLog config file.", e);
        failure.logDebug(L"krel_std::StaticLogConfig::initialize");
        throw failure;
    }
    loadThreshold();
    loadModules();
    loadAppenders();
}

void StaticLogConfig::loadThreshold() {
    StaticLog::setThreshold(logEventPriorityFromString(
        config.getValue(StaticLogConstants::threshold, StaticLogConstants::debugSection), INFO));
}

void StaticLogConfig::loadModules() {
    const std::wstring list =
        config.getValue(StaticLogConstants::modules, StaticLogConstants::appenderSection);
    if (list.empty()) {
        return;
    }
    std::vector<std::wstring> names;
    boost::algorithm::split(names, list, boost::algorithm::is_any_of(L","),
                            boost::algorithm::token_compress_on);
    StaticLogFactory& factory = Singleton<StaticLogFactory>::getInstance();
    for (const std::wstring& module : names) {
        try {
            factory.loadModule(module);
        } catch (const KrelIllegalArgumentException& e) {
            KREL_INTERNAL_DEBUG(L"krel_std::StaticLogConfig::loadModules",
                                L"Unable to load %ls: <%ls>", module.c_str(),
                                e.getMessage().c_str());
        }
    }
}

void StaticLogConfig::loadAppenders() {
    StaticLogFactory& factory = Singleton<StaticLogFactory>::getInstance();
    for (const auto& entry : getAppenderProperties()) {
        try {
            appenders[entry.first] = factory.createAppender(entry.first, entry.second);
        } catch (const KrelException& e) {
            KREL_INTERNAL_DEBUG(L"krel_std::StaticLogConfig::loadAppenders",
                                L"Unable to load appender %ls: %ls", entry.first.c_str(),
                                e.getMessage().c_str());
        }
    }
}

bool StaticLogConfig::splitAppenderKey(const std::wstring& key, std::wstring& appender,
                                       std::wstring& property) {
    const std::wstring rest = StringUtils::trimPrefix(key, StaticLogConstants::appenderPrefix);
    const std::wstring::size_type dot = rest.find(L'.');
    if (dot == std::wstring::npos || dot == 0) {
        return false;
    }
    appender = rest.substr(0, dot);
    property = rest.substr(dot + 1);
    return true;
}

StaticLogConfig::AppenderPropertyMap StaticLogConfig::getAppenderProperties() {
    AppenderPropertyMap properties;
    for (const std::wstring& key : config.getKeys(StaticLogConstants::appenderSection)) {
        std::wstring appender;
        std::wstring property;
        if (splitAppenderKey(key, appender, property)) {
            properties[appender][property] =
                evaluate(config.getValue(key, StaticLogConstants::appenderSection));
        }
    }
    return properties;
}

const StaticLogConfig::AppenderMap& StaticLogConfig::getAppenders() const {
    return appenders;
}

KrelConfig& StaticLogConfig::getConfig() {
    return config;
}

std::wstring StaticLogConfig::evaluate(const std::wstring& value) {
    if (!isReference(value)) {
        return value;
    }
    std::wstring section;
    std::wstring key;
    splitReference(value, section, key);
    return config.getValue(key, section);
}

bool StaticLogConfig::isAliasOf(const std::wstring& value, const std::wstring& section,
                                const std::wstring& key) {
    if (!isReference(value)) {
        return false;
    }
    std::wstring referencedSection;
    std::wstring referencedKey;
    splitReference(value, referencedSection, referencedKey);
    return referencedSection == section && referencedKey == key;
}

void StaticLogConfig::onConfigChange(const ConfigurationChangeEvent& event) {
    KREL_TRACE_SCOPE(CHANGE_CONTEXT);
    krel_std_internal::callSwallowing(
        [&] { applyChange(event); },
        [&] {
            try {
                throw;
            } catch (const KrelException& e) {
                // A change the running log cannot take must not end the watcher's report: the other
                // changes of the same edit, and later edits, still apply.
                KREL_INTERNAL_DEBUG(CHANGE_CONTEXT,
                                    L"Unable to apply configuration change <%ls>: %ls",
                                    event.toString().c_str(), e.getMessage().c_str());
            }
        });
}

void StaticLogConfig::applyChange(const ConfigurationChangeEvent& event) {
    const std::wstring section = event.getSection();
    if (section == StaticLogConstants::debugSection &&
        event.getKey() == StaticLogConstants::threshold) {
        changeThreshold(event);
        return;
    }
    // Appenders change as a log call writes to them: under the static log's locks, taken in
    // their declared order.
    const StaticLogPtr handle = StaticLog::getInstance();
    if (section == StaticLogConstants::appenderSection) {
        changeAppenderEntry(event);
    } else {
        changeReferencedEntry(event);
    }
}

void StaticLogConfig::changeThreshold(const ConfigurationChangeEvent& event) {
    traceChange(__LINE__, L"Threshold change.");
    const LogEventPriority threshold = event.getEventType() == ConfigurationChangeEvent::Removed
                                           ? INFO
                                           : logEventPriorityFromString(event.getValue(), INFO);
    StaticLog::setThreshold(threshold);
    Singleton<KrelLoggerSTD>::getInstance().STD0008(CHANGE_CONTEXT,
                                                    logEventPriorityToString(threshold));
}

void StaticLogConfig::changeAppenderEntry(const ConfigurationChangeEvent& event) {
    traceChange(__LINE__, L"Direct appender change.");
    std::wstring appender;
    std::wstring property;
    if (!splitAppenderKey(event.getKey(), appender, property)) {
        return;
    }
    const std::wstring value = event.getValue();
    traceChange(__LINE__, L"Appender <%ls> value <%ls> changed to <%ls>.", appender.c_str(),
                property.c_str(), value.c_str());
    setAppenderProperty(appender, property, value);
}

void StaticLogConfig::changeReferencedEntry(const ConfigurationChangeEvent& event) {
    traceChange(__LINE__, L"Other config change.");
    const std::wstring value = event.getValue();
    for (const std::wstring& key : config.getKeys(StaticLogConstants::appenderSection)) {
        std::wstring appender;
        std::wstring property;
        if (!splitAppenderKey(key, appender, property) ||
            !isAliasOf(config.getValue(key, StaticLogConstants::appenderSection),
                       event.getSection(), event.getKey())) {
            continue;
        }
        traceChange(__LINE__, L"Appender <%ls> value <%ls> changed to <%ls>.", appender.c_str(),
                    property.c_str(), value.c_str());
        setAppenderProperty(appender, property, value);
    }
}

void StaticLogConfig::setAppenderProperty(const std::wstring& appender,
                                          const std::wstring& property, const std::wstring& value) {
    const auto found = appenders.find(appender);
    if (found == appenders.end()) {
        traceChange(__LINE__, L"Appender not found.");
        return;
    }
    traceChange(__LINE__, L"Setting value for appender.");
    // What the appender logs while it changes reaches the log once the change is over.
    krel_std_internal::LogDispatch::runKeepingLogCalls(
        [&]() { found->second->setProperty(property, value); });
}

} // namespace krel_std
