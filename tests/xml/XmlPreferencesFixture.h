// The fixture of the XML preferences tests: a temporary directory and the in-memory preferences
// back end, chosen and emptied for each test.
#pragma once

#include <boost/shared_ptr.hpp>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>

#include "exception/KrelException.h"
#include "prefs/Preferences.h"
#include "support/MemoryPreferences.h"
#include "support/TempDirectory.h"

namespace krel_test {

// Every node's values below a node, by absolute path.
typedef std::map<std::wstring, std::map<std::wstring, std::wstring>> Snapshot;

inline void collect(const boost::shared_ptr<krel_std::Preferences>& node, Snapshot& result) {
    std::map<std::wstring, std::wstring>& values = result[node->absolutePath()];
    for (const std::wstring& key : node->keys()) {
        values[key] = node->get(key, L"");
    }
    for (const std::wstring& name : node->childrenNames()) {
        collect(node->node(name), result);
    }
}

inline Snapshot snapshot(const boost::shared_ptr<krel_std::Preferences>& node) {
    Snapshot result;
    collect(node, result);
    return result;
}

class XmlPreferencesTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        MemoryPreferencesFactory::registered().reset();
        user = krel_std::Preferences::userRoot();
        system = krel_std::Preferences::systemRoot();
    }

    // The lines, each ended by CR LF.
    static std::string document(std::initializer_list<std::string> lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        return text;
    }

    // The header lines every exported document starts with.
    static std::string header() {
        return document({"<?xml version=\"1.0\"?>",
                         "<!DOCTYPE preferences SYSTEM 'http://java.sun.com/dtd/preferences.dtd'>",
                         "<preferences>"});
    }

    // The message of the KrelException the call throws, without its causes' messages, and
    // the message of its direct cause.
    template <class Call> static std::pair<std::wstring, std::wstring> failureOf(Call call) {
        try {
            call();
        } catch (const krel_std::KrelException& error) {
            std::wstring cause;
            if (krel_std::KrelException* nested = error.getNestedException()) {
                cause = nested->getMessage();
                delete nested;
            }
            std::wstring own = error.getMessage();
            if (!cause.empty() && own.size() > cause.size() + 2) {
                own.resize(own.size() - cause.size() - 2);
            }
            return {own, cause};
        }
        return {L"(nothing thrown)", L""};
    }

    MemoryPreferencesSelection selection;
    boost::shared_ptr<krel_std::Preferences> user;
    boost::shared_ptr<krel_std::Preferences> system;
};

} // namespace krel_test
