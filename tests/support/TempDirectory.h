// A fresh directory below $TMPDIR for each test, removed afterwards, and small helpers for
// preparing and inspecting files with the standard library, so the code under test is never
// used to set up or check its own results.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "platform/Utf16.h"

class TempDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krel-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = std::filesystem::path(pattern);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    // The wide path of a name below the temporary directory (the directory itself without one).
    std::wstring path(const std::string& name = std::string()) const {
        return krel_platform::utf8ToWide(name.empty() ? root.string() : (root / name).string());
    }

    std::filesystem::path native(const std::string& name) const { return root / name; }

    // Writes the bytes to the named file, creating missing parent directories.
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
