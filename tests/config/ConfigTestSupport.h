// Shared helpers of the configuration tests: a readable dump of a configuration's model and a
// fresh temporary directory per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/ByteArray.h"
#include "config/Configuration.h"
#include "config/ConfigurationElement.h"
#include "config/ConfigurationVisitor.h"
#include "platform/Utf16.h"

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

// A fresh directory below $TMPDIR for each test, removed afterwards. Files are prepared and
// inspected with the standard library, not with the code under test.
class TempDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = std::filesystem::path(pattern);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::wstring path(const std::string& name) const {
        return krel_platform::utf8ToWide((root / name).string());
    }

    void writeBytes(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories((root / name).parent_path());
        std::ofstream out(root / name, std::ios::binary);
        out << bytes;
    }

    std::string readBytes(const std::string& name) const {
        std::ifstream in(root / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path root;
};

} // namespace config_test
