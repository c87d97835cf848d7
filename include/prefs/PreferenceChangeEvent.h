// PreferenceChangeEvent, one change of one preference of one node.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <functional>
#include <string>

#include "base/Object.h"

namespace krel_std {

class Preferences;

// One change of one preference of one node, as a back end reports it to the preference change
// notifier. Events are made only through newInstance and shared; they never change.
class PreferenceChangeEvent : public Object, private boost::noncopyable {
public:
    ~PreferenceChangeEvent() override;

    // "PreferenceChangeEvent{node=<node's toString>,key='k',newValue='v',listenerPath='p'}".
    std::wstring toString() const override;

    static boost::shared_ptr<PreferenceChangeEvent>
    newInstance(const boost::shared_ptr<Preferences>& node, const std::wstring& key,
                const std::wstring& newValue, const std::wstring& listenerPath);

    boost::shared_ptr<Preferences> getNode() const;
    std::wstring getKey() const;
    std::wstring getNewValue() const;
    std::wstring getListenerPath() const;

protected:
    PreferenceChangeEvent(const boost::shared_ptr<Preferences>& node, const std::wstring& key,
                          const std::wstring& newValue, const std::wstring& listenerPath);

private:
    PreferenceChangeEvent();

    boost::shared_ptr<Preferences> node;
    std::wstring key;
    std::wstring newValue;
    std::wstring listenerPath;
};

// Orders shared pointers by the address they hold, so a set of them holds each object once and
// is walked in ascending address order.
struct shared_ptr_lt {
    template <class T>
    bool operator()(const boost::shared_ptr<T>& left, const boost::shared_ptr<T>& right) const {
        return std::less<T*>()(left.get(), right.get());
    }
};

} // namespace krel_std
