// PreferencesUtils, which finds nodes by a paths key and reads values with a default.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

namespace krel_std {

class Preferences;

// Finds preference nodes by a path key of the paths provider and reads values with a default.
class PreferencesUtils {
public:
    virtual ~PreferencesUtils();

    // The node at the path that the paths provider holds for pathKey, under the system root or
    // the user root of the factory in use; missing nodes are made. A path key without a path
    // throws KrelIllegalArgumentException "Preferences path value is empty.".
    static boost::shared_ptr<Preferences> getNode(const std::wstring& pathKey, bool systemNode);
    // The node's value for key, or defaultValue when it has none or the node was removed. An
    // empty key throws KrelIllegalArgumentException "Preferences key value is empty." before the
    // paths provider is asked.
    static std::wstring getString(const std::wstring& pathKey, const std::wstring& key,
                                  const std::wstring& defaultValue, bool systemNode);
    // As getString, for an int.
    static int getInt(const std::wstring& pathKey, const std::wstring& key, int defaultValue,
                      bool systemNode);

private:
    PreferencesUtils();
};

} // namespace krel_std
