#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "base/Class.h"
#include "base/LibraryMain.h"
#include "log/ILogAppender.h"
#include "log/ILogEventFilter.h"
#include "log/ILogEventLayout.h"
#include "log/LogFileFilter.h"
#include "log/NTEventLogAppender.h"
#include "pattern/SingletonManager.h"
#include "platform/Utf16.h"
#include "platform/WinReg.h"
#include "support/DebugOutputCapture.h"
#include "system/Paths.h"
#include "xml/XmlUtils.h"

namespace {

// The dotted names the class registry refused as taken, in the order it refused them. Each
// refusal is logged at DEBUG with the name after this text.
std::vector<std::wstring> refusedNames(const std::vector<std::wstring>& lines) {
    static const std::wstring marker = L"Object already exists for key: ";
    std::vector<std::wstring> names;
    for (const std::wstring& line : lines) {
        const std::size_t start = line.find(marker);
        if (start != std::wstring::npos) {
            const std::size_t nameStart = start + marker.size();
            names.push_back(line.substr(nameStart, line.find(L' ', nameStart) - nameStart));
        }
    }
    return names;
}

} // namespace

TEST(LibraryLoadHookTest, RegistersThePrototypesOfTheBuiltClassesInTheirFixedOrder) {
    krel_test::DebugOutputCapture capture;
    krel_std_internal::krelLibraryAttach();
    const std::vector<std::wstring> expected{L"krel_std.RegistryPreferencesFactory",
                                             L"krel_std.Paths",
                                             L"krel_std.FilePreferencesFactory",
                                             L"krel_std.DebugFileFilter",
                                             L"krel_std.LogFileFilter",
                                             L"krel_std.KrelLogLayout",
                                             L"krel_std.RollingFileAppender",
                                             L"krel_std.OutputDebugAppender",
                                             L"krel_std.NTEventLogAppender"};
    EXPECT_EQ(expected, refusedNames(capture.lines()));
}

TEST(LibraryLoadHookTest, RunningAgainKeepsTheFirstPrototypesAndTheManager) {
    krel_std::Class& registry = krel_std::Class::getInstance();
    const auto layout = registry.getObject<krel_std::ILogEventLayout>(L"krel_std.KrelLogLayout");
    krel_std::SingletonManager& manager = krel_std::SingletonManager::getInstance();
    krel_std_internal::krelLibraryAttach();
    EXPECT_EQ(layout, registry.getObject<krel_std::ILogEventLayout>(L"krel_std.KrelLogLayout"));
    EXPECT_EQ(&manager, &krel_std::SingletonManager::getInstance());
}

TEST(LibraryLoadHookTest, RegisteredFilterPrototypeMakesNewFiltersOfItsClass) {
    const auto prototype = krel_std::Class::getInstance().getObject<krel_std::ILogEventFilter>(
        L"krel_std.LogFileFilter");
    ASSERT_TRUE(prototype);
    const std::unique_ptr<krel_std::Configurable> made(prototype->newInstance({}));
    const auto* filter = dynamic_cast<krel_std::LogFileFilter*>(made.get());
    ASSERT_NE(nullptr, filter);
    EXPECT_NE(static_cast<const void*>(prototype.get()), static_cast<const void*>(filter));
    EXPECT_EQ(L"krel_std.LogFileFilter", filter->getClassName());
}

TEST(LibraryLoadHookTest, RegisteredEventLogPrototypeMakesAppendersWithASourceOfTheirOwn) {
    const auto prototype = krel_std::Class::getInstance().getObject<krel_std::ILogAppender>(
        L"krel_std.NTEventLogAppender");
    ASSERT_TRUE(prototype);
    const std::wstring source = L"LibraryLoadHookTest";
    const std::unique_ptr<krel_std::Configurable> made(
        prototype->newInstance({{L"sourceName", source}}));
    const auto* appender = dynamic_cast<krel_std::NTEventLogAppender*>(made.get());
    ASSERT_NE(nullptr, appender);
    EXPECT_NE(static_cast<const void*>(prototype.get()), static_cast<const void*>(appender));
    EXPECT_EQ(L"krel_std.NTEventLogAppender", appender->getClassName());
    const std::wstring entry =
        L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + source;
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, entry.c_str(), 0, KEY_QUERY_VALUE, &key));
    RegCloseKey(key);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, entry.c_str());
}

TEST(LibraryLoadHookTest, PathsProviderIsFoundUnderItsDottedName) {
    EXPECT_TRUE(krel_std::Class::getInstance().getObject<krel_std::Paths>(L"krel_std.Paths"));
}

TEST(LibraryLoadHookTest, RollingFileAppenderIsFoundAsAnAppender) {
    EXPECT_TRUE(krel_std::Class::getInstance().getObject<krel_std::ILogAppender>(
        L"krel_std.RollingFileAppender"));
}

TEST(LibraryLoadHookTest, VersionInfoHeaderIsNotRegistered) {
    EXPECT_FALSE(krel_std::Class::getInstance().getObject<krel_std::Object>(
        L"krel_std.WindowsVersionInfoHeader"));
}

TEST(LibraryLoadHookTest, XmlParserParsesWithoutAFurtherStart) {
    xercesc::XercesDOMParser parser;
    xercesc::DOMDocument* document = krel_std::XmlUtils::parseAndGetDocument(
        L"LibraryLoadHookTest", parser, std::string("<preferences/>"));
    EXPECT_EQ(L"preferences", krel_platform::utf16ToWide(
                                  std::u16string(document->getDocumentElement()->getNodeName())));
}
