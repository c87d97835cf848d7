#include "system/SVersionInfo.h"

#include <cstdio>
#include <cwchar>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "log/SLog.h"
#include "platform/WinVersion.h"
#include "support/ModulePaths.h"
#include "system/KrelSystem.h"
#include "system/OsName.h"

using krel_test::moduleOf;
using krel_test::selfPath;
using krel_test::versionedModulePath;
using KrelStd::SLog;
using KrelStd::SVersionInfo;
using KrelStd::SWString;

namespace {

const std::wstring INVALID = L"Invalid filename";

std::wstring libraryPath() {
    return moduleOf(reinterpret_cast<const void*>(&KrelStd::GetOSName));
}

std::string narrow(const std::wstring& text) {
    return krel_platform::wideToUtf8(text);
}

// A byte stream in memory whose bytes the test reads back.
class StreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, stream); }
    void TearDown() override { std::fclose(stream); }

    std::string bytes() {
        std::fflush(stream);
        std::rewind(stream);
        std::string text;
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof(buffer), stream)) > 0) {
            text.append(buffer, got);
        }
        return text;
    }

    std::vector<std::string> lines() {
        std::vector<std::string> result;
        std::istringstream in(bytes());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }

    static std::string moduleLine(const std::wstring& module, const std::string& product,
                                  const std::string& version, const std::string& privateBuild,
                                  const std::string& specialBuild) {
        return "VERSION INFO: " + narrow(module) + ": Product <" + product + "> Version <" +
               version + "> Pri Build <" + privateBuild + "> Special Build <" + specialBuild + ">.";
    }

    FILE* stream = std::tmpfile();
    SVersionInfo info;
    SLog log;
};

TEST(SVersionInfoTest, LibraryAnswersItsOwnVersionTexts) {
    SVersionInfo info(libraryPath());
    ASSERT_TRUE(info.IsValid());
    EXPECT_EQ(L"KrelStd", info.GetProductName());
    EXPECT_EQ(L"1.0.0", info.GetProductVersion());
    EXPECT_EQ(L"1.0.0", info.GetFileVersion());
    EXPECT_EQ(L"KrelStd", info.GetInternalName());
    EXPECT_EQ(L"KrelStd foundation library", info.GetFileDescription());
}

TEST(SVersionInfoTest, FieldMissingFromTheRecordIsEmpty) {
    SVersionInfo info(libraryPath());
    EXPECT_TRUE(info.GetPrivateBuild().empty());
    EXPECT_TRUE(info.GetCompanyName().empty());
}

TEST(SVersionInfoTest, EveryGetterReadsItsOwnField) {
    SVersionInfo info(versionedModulePath());
    ASSERT_TRUE(info.IsValid());
    EXPECT_EQ(L"Versioned Module", info.GetProductName());
    EXPECT_EQ(L"2.5", info.GetProductVersion());
    EXPECT_EQ(L"2.5.7.11", info.GetFileVersion());
    EXPECT_EQ(L"Caf\u00e9 \"Quoted\" \\ Works", info.GetCompanyName());
    EXPECT_EQ(L"Copyright line", info.GetCopyright());
    EXPECT_EQ(L"Comments line", info.GetComments());
    EXPECT_EQ(L"Test module", info.GetFileDescription());
    EXPECT_EQ(L"krel_versioned_module", info.GetInternalName());
    EXPECT_EQ(L"Trademarks line", info.GetLegalTrademarks());
    EXPECT_EQ(L"private-7", info.GetPrivateBuild());
    EXPECT_EQ(L"special-9", info.GetSpecialBuild());
}

TEST(SVersionInfoTest, ModuleWithoutRecordAnswersInvalidFilename) {
    SVersionInfo info(selfPath());
    EXPECT_FALSE(info.IsValid());
    EXPECT_EQ(INVALID, info.GetProductName());
    EXPECT_EQ(INVALID, info.GetProductVersion());
    EXPECT_EQ(INVALID, info.GetCompanyName());
    EXPECT_EQ(INVALID, info.GetSpecialBuild());
}

TEST(SVersionInfoTest, EmptyObjectIsNotValid) {
    SVersionInfo info;
    EXPECT_FALSE(info.IsValid());
    EXPECT_TRUE(info.GetFilename().empty());
    EXPECT_EQ(INVALID, info.GetFileVersion());
}

TEST(SVersionInfoTest, SetFilenameReadsTheNewFile) {
    SVersionInfo info(libraryPath());
    info.SetFilename(selfPath());
    EXPECT_EQ(selfPath(), info.GetFilename());
    EXPECT_FALSE(info.IsValid());
    info.SetFilename(versionedModulePath());
    EXPECT_EQ(L"Versioned Module", info.GetProductName());
}

TEST(SVersionInfoTest, CopyReadsItsOwnBuffer) {
    SVersionInfo original(versionedModulePath());
    const SVersionInfo copy(original);
    SVersionInfo assigned;
    assigned = original;
    original.SetFilename(libraryPath());
    EXPECT_EQ(L"Versioned Module", SVersionInfo(copy).GetProductName());
    EXPECT_EQ(L"Versioned Module", assigned.GetProductName());
    EXPECT_EQ(L"KrelStd", original.GetProductName());
}

using SVersionInfoStreamTest = StreamTest;

TEST_F(SVersionInfoStreamTest, AddModulePrintsTheModuleLineOnce) {
    EXPECT_TRUE(info.AddModule(stream, libraryPath()));
    EXPECT_TRUE(info.AddModule(stream, libraryPath()));
    EXPECT_EQ(std::vector<std::string>{moduleLine(libraryPath(), "KrelStd", "1.0.0", "", "")},
              lines());
    EXPECT_EQ(libraryPath(), info.GetFilename());
}

TEST_F(SVersionInfoStreamTest, ModuleLineIsWrittenAsCodePageZeroBytes) {
    const std::wstring missing = L"/no/such/modul\u00e9.so";
    EXPECT_TRUE(info.AddModule(stream, missing));
    EXPECT_EQ("VERSION INFO: /no/such/modul\xE9.so: Product <Invalid filename> Version <Invalid "
              "filename> Pri Build <Invalid filename> Special Build <Invalid filename>.\n",
              bytes());
    EXPECT_LT(std::fwide(stream, 0), 0);
}

TEST_F(SVersionInfoStreamTest, AddModuleWithoutStreamOnlyRemembersTheModule) {
    EXPECT_TRUE(info.AddModule(nullptr, versionedModulePath()));
    EXPECT_TRUE(info.GetFilename().empty());
    EXPECT_TRUE(info.AddModule(stream, versionedModulePath()));
    EXPECT_TRUE(bytes().empty());
}

TEST_F(SVersionInfoStreamTest, WriteModuleVerInfoWithoutLogWritesNothing) {
    info.AddModule(nullptr, libraryPath());
    EXPECT_FALSE(info.WriteModuleVerInfo(stream, nullptr));
    EXPECT_TRUE(bytes().empty());
}

TEST_F(SVersionInfoStreamTest, WriteModuleVerInfoPrintsTheMachineThenModulesByName) {
    info.AddModule(nullptr, versionedModulePath());
    info.AddModule(nullptr, selfPath());
    info.AddModule(nullptr, libraryPath());
    info.DeleteModule(selfPath());
    EXPECT_TRUE(info.WriteModuleVerInfo(stream, &log));

    const auto printed = lines();
    ASSERT_EQ(11u, printed.size());
    EXPECT_EQ("VERSION INFO: Platform <" + narrow(KrelStd::GetOSName()) + ">.", printed[0]);
    EXPECT_EQ("VERSION INFO: Hostname <" + narrow(KrelStd::GetHostName()) + ">.", printed[1]);
    EXPECT_EQ(0u, printed[2].find("VERSION INFO: Timezone <"));
    EXPECT_NE(std::string::npos, printed[2].find(">, DST Zone <"));
    EXPECT_EQ(0u, printed[3].find("VERSION INFO: Current Time <"));
    EXPECT_EQ("VERSION INFO: Debug threshold <>.", printed[4]);
    EXPECT_EQ("VERSION INFO: Debug size <0>.", printed[5]);
    EXPECT_EQ("VERSION INFO: Debug files <0>.", printed[6]);
    EXPECT_EQ("VERSION INFO: Log size <0>.", printed[7]);
    EXPECT_EQ("VERSION INFO: Log files <0>.", printed[8]);

    std::vector<std::string> expected = {
        moduleLine(libraryPath(), "KrelStd", "1.0.0", "", ""),
        moduleLine(versionedModulePath(), "Versioned Module", "2.5", "private-7", "special-9")};
    if (versionedModulePath() < libraryPath()) {
        std::swap(expected[0], expected[1]);
    }
    EXPECT_EQ(expected, std::vector<std::string>(printed.begin() + 9, printed.end()));
}

TEST(OsNameTest, HostThatIsNoWindowsReleaseIsNamedAsTheSystemNamesIt) {
    const std::wstring name = KrelStd::GetOSName();
    EXPECT_EQ(krel_std::KrelSystem::getOperatingSystemName(), name);
    EXPECT_EQ(0u, name.rfind(L"Linux ", 0)) << narrow(name);
}

OSVERSIONINFOEXW version(DWORD platform, DWORD major, DWORD minor, const wchar_t* servicePack,
                         BYTE productType = VER_NT_WORKSTATION, WORD suites = 0) {
    OSVERSIONINFOEXW record = {};
    record.dwOSVersionInfoSize = sizeof(record);
    record.dwPlatformId = platform;
    record.dwMajorVersion = major;
    record.dwMinorVersion = minor;
    std::wcsncpy(record.szCSDVersion, servicePack, 127);
    record.wProductType = productType;
    record.wSuiteMask = suites;
    return record;
}

TEST(OsNameTest, WindowsReleasesAreNamedWithTheirServicePack) {
    using krel_std_internal::osNameFromVersion;
    EXPECT_EQ(L"95 ", osNameFromVersion(version(1, 4, 0, L"")));
    EXPECT_EQ(L"98 SE", osNameFromVersion(version(1, 4, 10, L"SE")));
    EXPECT_EQ(L"Millenium ", osNameFromVersion(version(1, 4, 90, L"")));
    EXPECT_EQ(L"NT Service Pack 6", osNameFromVersion(version(2, 4, 0, L"Service Pack 6")));
    EXPECT_EQ(L"2000 ", osNameFromVersion(version(2, 5, 0, L"")));
    EXPECT_EQ(L"XP Service Pack 2", osNameFromVersion(version(2, 5, 1, L"Service Pack 2")));
    EXPECT_EQ(L"2003 ", osNameFromVersion(version(2, 5, 2, L"")));
}

TEST(OsNameTest, VistaEditionFollowsTheSuiteBits) {
    using krel_std_internal::osNameFromVersion;
    EXPECT_EQ(L"Vista (Home) SP1",
              osNameFromVersion(version(2, 6, 0, L"SP1", VER_NT_WORKSTATION, 0x202)));
    EXPECT_EQ(L"Vista (Enterprise) ",
              osNameFromVersion(version(2, 6, 0, L"", VER_NT_WORKSTATION, 0x2)));
    EXPECT_EQ(L"Vista (Business/Ultimate) ", osNameFromVersion(version(2, 6, 0, L"")));
    EXPECT_EQ(L"Longhorn ", osNameFromVersion(version(2, 6, 0, L"", VER_NT_SERVER)));
}

TEST(OsNameTest, UnknownCombinationsKeepTheFailureText) {
    using krel_std_internal::osNameFromVersion;
    EXPECT_EQ(L"Failed to get correct Operating System.",
              osNameFromVersion(version(2, 10, 0, L"")));
    EXPECT_EQ(L"Failed to get correct Operating System.", osNameFromVersion(version(2, 5, 3, L"")));
    EXPECT_EQ(L"Failed to get correct Operating System.",
              osNameFromVersion(version(1, 4, 20, L"")));
}

TEST(OsNameTest, ServicePackWithoutTerminatorIsTakenToTheEndOfItsArray) {
    OSVERSIONINFOEXW record = version(2, 5, 1, L"");
    std::wmemset(record.szCSDVersion, L'x', 128);
    EXPECT_EQ(L"XP " + std::wstring(128, L'x'), krel_std_internal::osNameFromVersion(record));
}

TEST(HostNameTest, HostNameIsTheMachinesName) {
    char name[512] = {};
    ASSERT_EQ(0, gethostname(name, sizeof(name) - 1));
    EXPECT_EQ(krel_platform::utf8ToWide(name), KrelStd::GetHostName());
}

TEST(TimestampTest, CurrentTimestampHasMillisecondsAndATrailingBlank) {
    const std::string text = narrow(KrelStd::GetCurrentTimestamp());
    EXPECT_TRUE(std::regex_match(
        text, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} ")))
        << text;
}

} // namespace
