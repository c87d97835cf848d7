// Shared helpers of the configuration tests: a readable dump of a configuration's model and a
// fresh temporary directory per test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "base/ByteArray.h"
#include "config/Configuration.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationVisitor.h"
#include "platform/Utf16.h"
#include "support/TempDirectory.h"

namespace config_test {

// Every section and element of the configuration, one per line, so two models compare as text.
inline std::wstring describe(const krel_std::Configuration& configuration) {
    std::wstring text;
    for (const krel_std::ConfigurationSection& section : configuration.copySections()) {
        text += L"[" + section.getName() + L"]\n";
        struct Collector : krel_std::ConfigurationVisitor {
            std::wstring& out;
            explicit Collector(std::wstring& out) : out(out) {}
            void visit(const krel_std::ConfigurationElement& element) override {
                out += L"  " + element.toString() + L"\n";
            }
            void visit(const krel_std::ConfigurationSection&) override {}
        } collector(text);
        section.visit(collector);
    }
    return text;
}

inline krel_std::ByteArray bytesOf(const std::string& bytes) {
    return krel_std::ByteArray(bytes);
}

using ::TempDirectoryTest;

} // namespace config_test
