// PreferenceChangeJniCallback, the record of one changed preference for Java.
#pragma once

#include <string>

#include "jni/IJniCallback.h"

namespace krel_std {

// The record of one changed preference of a monitored registry key, handed to Java as a
// com.vandrel.util.prefs.PreferenceChangeCallback(int root, String path, String key,
// String newValue).
class PreferenceChangeJniCallback final : public IJniCallback {
public:
    // root is a registry root's handle value (0x80000001 user, 0x80000002 system); path is the
    // key path below it with backslashes and no leading separator; key is the value name.
    // An empty path or key throws KrelIllegalArgumentException ("Path value is empty.",
    // "Key value is empty."); an empty newValue is allowed.
    PreferenceChangeJniCallback(int root, const std::wstring& path, const std::wstring& key,
                                const std::wstring& newValue);
    PreferenceChangeJniCallback(const PreferenceChangeJniCallback& other) = default;
    PreferenceChangeJniCallback& operator=(const PreferenceChangeJniCallback& other) = default;
    ~PreferenceChangeJniCallback() = default;

    // Null with the VM's error pending when the Java class or its constructor cannot be found
    // (NoClassDefFoundError, NoSuchMethodError) or a string or the object cannot be made.
    jobject createJniObject(JNIEnv* env) override;

private:
    int root;
    std::wstring path;
    std::wstring key;
    std::wstring newValue;
};

} // namespace krel_std
