// Preferences, one node of a preferences tree with typed values.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "base/Object.h"

namespace krel_std {

class ByteArray;
class PreferenceChangeListener;
class PreferencesFactory;

// One node of a preferences tree: a name, an absolute path, a parent (none for a root), child
// nodes and string key/value pairs, with typed values stored as text.
//
// The two tree roots come from the preferences factory in use, chosen anew on every call by the
// dotted class name in the environment variable "default.PreferencesFactory", else the system
// property of that name, else "krel_std.RegistryPreferencesFactory".
class Preferences : public Object {
public:
    static constexpr int MAX_PREF_KEY_LENGTH = 80;
    static constexpr int MAX_PREF_NAME_LENGTH = 80;
    static constexpr int MAX_PREF_VALUE_LENGTH = 8192;
    static constexpr wchar_t SLASH = L'/';

    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;
    ~Preferences() override;

    std::wstring toString() const override = 0;
    virtual std::wstring absolutePath() const = 0;
    virtual void
    addPreferenceChangeListener(const boost::shared_ptr<PreferenceChangeListener>& listener) = 0;
    virtual std::vector<std::wstring> childrenNames() = 0;
    virtual void clear() = 0;
    // Writes this node alone as an XML preferences document to the file.
    virtual void exportNode(const std::wstring& fileName) = 0;
    // Writes this node with its subtree as an XML preferences document to the file.
    virtual void exportSubtree(const std::wstring& fileName) = 0;
    virtual void flush() = 0;
    virtual std::wstring get(const std::wstring& key, const std::wstring& def) = 0;
    virtual bool getBoolean(const std::wstring& key, bool def) = 0;
    virtual boost::shared_ptr<ByteArray> getByteArray(const std::wstring& key,
                                                      const ByteArray& def) = 0;
    virtual double getDouble(const std::wstring& key, double def) = 0;
    virtual float getFloat(const std::wstring& key, float def) = 0;
    virtual int getInt(const std::wstring& key, int def) = 0;
    virtual long long getLongLong(const std::wstring& key, long long def) = 0;
    virtual bool isUserNode() const = 0;
    virtual std::vector<std::wstring> keys() = 0;
    virtual std::wstring name() = 0;
    virtual boost::shared_ptr<Preferences> node(const std::wstring& path) = 0;
    virtual bool nodeExists(const std::wstring& path) = 0;
    virtual boost::shared_ptr<Preferences> parent() = 0;
    virtual void put(const std::wstring& key, const std::wstring& value) = 0;
    virtual void putBoolean(const std::wstring& key, bool value) = 0;
    virtual void putByteArray(const std::wstring& key, const ByteArray& value) = 0;
    virtual void putDouble(const std::wstring& key, double value) = 0;
    virtual void putFloat(const std::wstring& key, float value) = 0;
    virtual void putInt(const std::wstring& key, int value) = 0;
    virtual void putLongLong(const std::wstring& key, long long value) = 0;
    virtual void remove(const std::wstring& key) = 0;
    virtual void removeNode() = 0;
    virtual void
    removePreferenceChangeListener(const boost::shared_ptr<PreferenceChangeListener>& listener) = 0;
    virtual void sync() = 0;
    // The back end's name for this node in the preference change notifier.
    virtual std::wstring buildListenerPath() = 0;

    // The system tree's root of the factory in use. A name under which the class registry holds
    // no PreferencesFactory throws KrelAccessException
    // "Unable to get PreferencesFactory named <name>.".
    static boost::shared_ptr<Preferences> systemRoot();
    // The user tree's root of the factory in use; throws as systemRoot does.
    static boost::shared_ptr<Preferences> userRoot();
    // Stores every entry of an XML preferences document into the tree its root names, creating
    // nodes as needed and removing nothing.
    static void importPreferences(const std::wstring& fileName);

protected:
    Preferences();

private:
    // The factory name used when neither the environment nor the system properties name one.
    static const std::wstring& defaultFactory();
    // The factory found by the latest getFactory call.
    static boost::shared_ptr<PreferencesFactory>& factory();

    // Looks the factory in use up in the class registry (on every call) and logs its name at
    // INFO when it differs from the name of the previous successful call.
    static boost::shared_ptr<PreferencesFactory> getFactory();
};

} // namespace krel_std
