#include "prefs/PreferencesUtils.h"

#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalStateException.h"
#include "prefs/Preferences.h"
#include "system/Paths.h"

namespace krel_std {

PreferencesUtils::PreferencesUtils() = default;

PreferencesUtils::~PreferencesUtils() = default;

boost::shared_ptr<Preferences> PreferencesUtils::getNode(const std::wstring& pathKey,
                                                         bool systemNode) {
    const wchar_t* const context = L"krel_std::PreferencesUtils::getNode";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Key <%ls> System node <%d>.", pathKey.c_str(),
                          static_cast<int>(systemNode));
    const std::wstring path = Paths::getInstance()->getPath(pathKey, std::wstring());
    ErrorUtils::isEmptyEx(path, context, L"Preferences path");
    const boost::shared_ptr<Preferences> root =
        systemNode ? Preferences::systemRoot() : Preferences::userRoot();
    return root->node(path);
}

std::wstring PreferencesUtils::getString(const std::wstring& pathKey, const std::wstring& key,
                                         const std::wstring& defaultValue, bool systemNode) {
    const wchar_t* const context = L"krel_std::PreferencesUtils::getString";
    KREL_TRACE_SCOPE_ARGS(
        context, L"Begin. Path <%ls> Key <%ls> Default value <%ls> System node <%d>.",
        pathKey.c_str(), key.c_str(), defaultValue.c_str(), static_cast<int>(systemNode));
    ErrorUtils::isEmptyEx(key, context, L"Preferences key");
    const boost::shared_ptr<Preferences> node = getNode(pathKey, systemNode);
    try {
        return node->get(key, defaultValue);
    } catch (const KrelIllegalStateException&) {
        return defaultValue;
    }
}

int PreferencesUtils::getInt(const std::wstring& pathKey, const std::wstring& key, int defaultValue,
                             bool systemNode) {
    const wchar_t* const context = L"krel_std::PreferencesUtils::getInt";
    KREL_TRACE_SCOPE_ARGS(context,
                          L"Begin. Path <%ls> Key <%ls> Default value <%d> System node <%d>.",
                          pathKey.c_str(), key.c_str(), defaultValue, static_cast<int>(systemNode));
    ErrorUtils::isEmptyEx(key, context, L"Preferences key");
    const boost::shared_ptr<Preferences> node = getNode(pathKey, systemNode);
    try {
        return node->getInt(key, defaultValue);
    } catch (const KrelIllegalStateException&) {
        return defaultValue;
    }
}

} // namespace krel_std
