#include "prefs/PreferenceChangeEvent.h"

#include "prefs/Preferences.h"

namespace krel_std {

PreferenceChangeEvent::PreferenceChangeEvent() = default;

PreferenceChangeEvent::PreferenceChangeEvent(const boost::shared_ptr<Preferences>& node,
                                             const std::wstring& key, const std::wstring& newValue,
                                             const std::wstring& listenerPath)
    : node(node), key(key), newValue(newValue), listenerPath(listenerPath) {}

PreferenceChangeEvent::~PreferenceChangeEvent() = default;

boost::shared_ptr<PreferenceChangeEvent>
PreferenceChangeEvent::newInstance(const boost::shared_ptr<Preferences>& node,
                                   const std::wstring& key, const std::wstring& newValue,
                                   const std::wstring& listenerPath) {
    return boost::shared_ptr<PreferenceChangeEvent>(
        new PreferenceChangeEvent(node, key, newValue, listenerPath));
}

// Producers always pass a node; an event without one prints an empty node text.
std::wstring PreferenceChangeEvent::toString() const {
    return L"PreferenceChangeEvent{node=" + (node ? node->toString() : std::wstring()) + L",key='" +
           key + L"',newValue='" + newValue + L"',listenerPath='" + listenerPath + L"'}";
}

boost::shared_ptr<Preferences> PreferenceChangeEvent::getNode() const {
    return node;
}

std::wstring PreferenceChangeEvent::getKey() const {
    return key;
}

std::wstring PreferenceChangeEvent::getNewValue() const {
    return newValue;
}

std::wstring PreferenceChangeEvent::getListenerPath() const {
    return listenerPath;
}

} // namespace krel_std
