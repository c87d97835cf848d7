#include "log/WindowsVersionInfoHeader.h"

#include <boost/shared_ptr.hpp>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/Class.h"
#include "file/RollingFile.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLogTestHook.h"
#include "log/VersionInfoHeader.h"
#include "platform/Utf16.h"
#include "platform/WinVersion.h"
#include "support/ModulePaths.h"
#include "support/TempDirectory.h"

using krel_std::RollingFile;
using krel_std::RollingFileHeader;
using krel_std::WindowsVersionInfoHeader;

namespace {

class WindowsVersionInfoHeaderTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        krel_std_internal::StaticLogTestHook::reset();
        const char* home = std::getenv("HOME");
        savedHome = home != nullptr ? home : "";
    }

    void TearDown() override {
        setenv("HOME", savedHome.c_str(), 1);
        krel_std_internal::StaticLogTestHook::reset();
        TempDirectoryTest::TearDown();
    }

    // Opens a set of 2 MiB files and 3 files carrying the header; answers the header's lines.
    std::vector<std::string> headerLines(const boost::shared_ptr<RollingFileHeader>& header) {
        RollingFile file;
        file.addHeader(header);
        file.setFilePath(krel_std::File(path("set.log")));
        file.setMaximumSize(0x200000);
        file.setMaximumFiles(3);
        file.open();
        file.close();
        const std::string text = readBytes("set0001.log");
        std::vector<std::string> lines;
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 1;
        }
        EXPECT_EQ('\n', text.empty() ? '\0' : text.back());
        return lines;
    }

    static bool contains(const std::vector<std::string>& lines, const std::string& line) {
        for (const std::string& each : lines) {
            if (each == line) {
                return true;
            }
        }
        return false;
    }

    std::string savedHome;
};

} // namespace

TEST_F(WindowsVersionInfoHeaderTest, SixEnvironmentThreeConfigurationAndOneLinePerModule) {
    const auto lines =
        headerLines(boost::shared_ptr<RollingFileHeader>(new WindowsVersionInfoHeader()));
    ASSERT_EQ(9 + krel_platform::loadedModules().size(), lines.size());
    for (size_t index = 0; index < lines.size(); ++index) {
        EXPECT_EQ(0u, lines[index].rfind("VERSION INFO: ", 0)) << lines[index];
        EXPECT_EQ(std::string::npos, lines[index].find('\r'));
        const char* group = index < 6   ? "VERSION INFO: Environment: "
                            : index < 9 ? "VERSION INFO: "
                                        : "VERSION INFO: Module: ";
        EXPECT_EQ(0u, lines[index].rfind(group, 0)) << lines[index];
    }
    EXPECT_EQ(0u, lines[0].rfind("VERSION INFO: Environment: Platform <", 0));
    EXPECT_EQ(0u, lines[3].rfind("VERSION INFO: Environment: Hostname <", 0));
    EXPECT_EQ(0u, lines[4].rfind("VERSION INFO: Environment: Timezone <", 0));
    EXPECT_EQ(0u, lines[5].rfind("VERSION INFO: Environment: Current time <", 0));
}

TEST_F(WindowsVersionInfoHeaderTest, ConfigurationLinesShowTheLogThresholdAndTheFileLimits) {
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::WARN);
    const auto lines =
        headerLines(boost::shared_ptr<RollingFileHeader>(new WindowsVersionInfoHeader()));
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ("VERSION INFO: Debug threshold <WARN>.", lines[6]);
    EXPECT_EQ("VERSION INFO: Max file size <2097152>.", lines[7]);
    EXPECT_EQ("VERSION INFO: Max file count <3>.", lines[8]);
}

TEST_F(WindowsVersionInfoHeaderTest,
       UserDirectoryIsTakenAtConstructionAndWorkingDirectoryAtEachFile) {
    std::filesystem::create_directories(native("home"));
    setenv("HOME", native("home").c_str(), 1);
    const boost::shared_ptr<RollingFileHeader> header(new WindowsVersionInfoHeader());
    setenv("HOME", savedHome.c_str(), 1);
    const auto lines = headerLines(header);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("VERSION INFO: Environment: Working Dir: <" +
                  std::filesystem::current_path().string() + ">.",
              lines[1]);
    EXPECT_EQ("VERSION INFO: Environment: User Dir: <" + native("home").string() + ">.", lines[2]);
}

TEST_F(WindowsVersionInfoHeaderTest, ModuleLinesShowTheVersionRecordOrInvalidFilename) {
    const std::string module = krel_platform::wideToUtf8(krel_test::versionedModulePath());
    void* handle = dlopen(module.c_str(), RTLD_NOW);
    ASSERT_NE(nullptr, handle) << dlerror();
    const auto lines =
        headerLines(boost::shared_ptr<RollingFileHeader>(new WindowsVersionInfoHeader()));
    dlclose(handle);
    EXPECT_TRUE(contains(lines, "VERSION INFO: Module: libkrel_versioned_module.so: Product "
                                "<Versioned Module> Version <2.5> Pri Build <private-7> Special "
                                "Build <special-9>."));
    // The test program carries no version record.
    EXPECT_TRUE(contains(lines, "VERSION INFO: Module: log_tests: Product <Invalid filename> "
                                "Version <Invalid filename> Pri Build <Invalid filename> Special "
                                "Build <Invalid filename>."));
}

TEST_F(WindowsVersionInfoHeaderTest, FoundByNameOnlyOnceRegistered) {
    auto& registry = krel_std::Class::getInstance();
    EXPECT_FALSE(registry.getObject<krel_std::Object>(L"krel_std.WindowsVersionInfoHeader"));
    WindowsVersionInfoHeader::registerClass();
    EXPECT_TRUE(registry.getObject<WindowsVersionInfoHeader>(L"krel_std.WindowsVersionInfoHeader"));
}

TEST_F(WindowsVersionInfoHeaderTest, ShortHeaderReportsTheAppenderLimitsAndNoThreshold) {
    krel_std::RollingFileAppender appender;
    const auto lines = headerLines(
        boost::shared_ptr<RollingFileHeader>(new krel_std::VersionInfoHeader(appender)));
    ASSERT_EQ(7u, lines.size());
    for (const std::string& line : lines) {
        EXPECT_EQ(0u, line.rfind("VERSION INFO: ", 0)) << line;
    }
    EXPECT_EQ("VERSION INFO: Debug threshold <N/A>.", lines[4]);
    EXPECT_EQ("VERSION INFO: Max file size <0>.", lines[5]);
    EXPECT_EQ("VERSION INFO: Max file count <0>.", lines[6]);
}

TEST_F(WindowsVersionInfoHeaderTest, ModuleLoadedAfterAHeaderIsDescribedInTheNextOne) {
    const boost::shared_ptr<RollingFileHeader> header(new WindowsVersionInfoHeader());
    const std::string line = "VERSION INFO: Module: libkrel_versioned_module.so: Product "
                             "<Versioned Module> Version <2.5> Pri Build <private-7> Special "
                             "Build <special-9>.";
    ASSERT_FALSE(contains(headerLines(header), line));
    const std::string module = krel_platform::wideToUtf8(krel_test::versionedModulePath());
    void* handle = dlopen(module.c_str(), RTLD_NOW);
    ASSERT_NE(nullptr, handle) << dlerror();
    const auto lines = headerLines(header);
    dlclose(handle);
    EXPECT_TRUE(contains(lines, line));
}

TEST_F(WindowsVersionInfoHeaderTest, ModuleWhoseFileWasReplacedIsReadAgain) {
    const std::string module = krel_platform::wideToUtf8(krel_test::versionedModulePath());
    std::filesystem::copy_file(module, native("libcopied.so"));
    void* handle = dlopen(native("libcopied.so").c_str(), RTLD_NOW);
    ASSERT_NE(nullptr, handle) << dlerror();
    const boost::shared_ptr<RollingFileHeader> header(new WindowsVersionInfoHeader());
    const auto before = headerLines(header);
    writeBytes("replacement", "no version record here");
    std::filesystem::rename(native("replacement"), native("libcopied.so"));
    const auto after = headerLines(header);
    dlclose(handle);
    EXPECT_TRUE(contains(before, "VERSION INFO: Module: libcopied.so: Product <Versioned Module> "
                                 "Version <2.5> Pri Build <private-7> Special Build <special-9>."));
    EXPECT_TRUE(contains(after, "VERSION INFO: Module: libcopied.so: Product <Invalid filename> "
                                "Version <Invalid filename> Pri Build <Invalid filename> Special "
                                "Build <Invalid filename>."));
}
