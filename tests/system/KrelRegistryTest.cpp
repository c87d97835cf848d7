#include "system/KrelRegistry.h"

#include <boost/shared_ptr.hpp>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "base/ErrorUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "exception/KrelUnknownException.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/Utf16.h"
#include "platform/WinHandles.h"
#include "platform/WinReg.h"
#include "support/RecordingLogTest.h"

using krel_std::KrelException;
using krel_std::KrelRegistry;

namespace {

// The bytes Windows keeps for a REG_SZ: UTF-16LE with the terminating NUL.
std::string textBytes(const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text) + u'\0';
    return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

std::string dwordBytes(int32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// Every test works below a key of its own in the user hive, prepared and inspected through the
// registry calls themselves, and sees what the wrapper logs.
class KrelRegistryTest : public krel_test::RecordingLogTest {
protected:
    void SetUp() override {
        RecordingLogTest::SetUp();
        path = L"Software\\KrelRegistryTest\\" +
               krel_platform::utf8ToWide(
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }

    void TearDown() override {
        SHDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
        RecordingLogTest::TearDown();
    }

    void setRaw(const std::wstring& name, DWORD type, const std::string& bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
        RegCloseKey(key);
    }

    // The type and bytes of a value, or an empty type for a missing one.
    std::pair<DWORD, std::string> getRaw(const std::wstring& name) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key));
        std::string bytes(4096, '\0');
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(bytes.size());
        const LSTATUS code = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                              reinterpret_cast<LPBYTE>(&bytes[0]), &size);
        RegCloseKey(key);
        bytes.resize(code == ERROR_SUCCESS ? size : 0);
        return {code == ERROR_SUCCESS ? type : REG_NONE, bytes};
    }

    KrelRegistry& opened() {
        registry.openKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS);
        return registry;
    }

    std::wstring path;
    KrelRegistry registry;
};

struct ErrorMapping {
    long code;
    const wchar_t* kind;
    const std::type_info& type;
};

TEST_F(KrelRegistryTest, EveryErrorCodeThrowsItsKindAfterOneSTD3000Warning) {
    const std::vector<ErrorMapping> table = {
        {2, L"Object not found", typeid(krel_std::KrelObjectNotFoundException)},
        {3, L"Object not found", typeid(krel_std::KrelObjectNotFoundException)},
        {5, L"Access denied", typeid(krel_std::KrelAccessException)},
        {12, L"Access denied", typeid(krel_std::KrelAccessException)},
        {19, L"Access denied", typeid(krel_std::KrelAccessException)},
        {6, L"Invalid argument", typeid(krel_std::KrelIllegalArgumentException)},
        {87, L"Invalid argument", typeid(krel_std::KrelIllegalArgumentException)},
        {160, L"Invalid argument", typeid(krel_std::KrelIllegalArgumentException)},
        {161, L"Invalid argument", typeid(krel_std::KrelIllegalArgumentException)},
        {234, L"More data is available than can fit in buffer", typeid(KrelException)},
        {1018, L"Illegal state", typeid(krel_std::KrelIllegalStateException)},
        {1, L"Unknown error", typeid(krel_std::KrelUnknownException)},
        {259, L"Unknown error", typeid(krel_std::KrelUnknownException)},
        {-5, L"Unknown error", typeid(krel_std::KrelUnknownException)},
    };
    for (const ErrorMapping& entry : table) {
        SCOPED_TRACE(entry.code);
        appender->events.clear();
        const std::wstring expected =
            std::wstring(L"Open registry key <a\\b> ") + entry.kind + L": <" +
            krel_std::ErrorUtils::getErrorDescription(static_cast<int>(entry.code)) + L">.";
        try {
            KrelRegistry::convertWinErrToException(L"krel_std::KrelRegistry::openKey", entry.code,
                                                   L"Open registry key <a\\b>");
            ADD_FAILURE() << "nothing thrown";
        } catch (const KrelException& thrown) {
            EXPECT_TRUE(typeid(thrown) == entry.type) << typeid(thrown).name();
            EXPECT_EQ(expected, thrown.getMessage());
            ASSERT_EQ(1u, appender->events.size());
            EXPECT_EQ(L"STD3000", appender->events[0].errorId);
            EXPECT_EQ(krel_std::WARN, appender->events[0].priority);
            EXPECT_EQ(L"KrelRegistry::openKey", appender->events[0].function);
            EXPECT_EQ(expected, appender->events[0].message);
        }
    }
}

TEST_F(KrelRegistryTest, ErrorMessageNamesTheSubjectKindAndSystemText) {
    try {
        registry.openKey(HKEY_CURRENT_USER, path + L"\\missing", KEY_READ);
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelObjectNotFoundException& thrown) {
        EXPECT_EQ(L"Open registry key <" + path +
                      L"\\missing> Object not found: <2:The system cannot find the file "
                      L"specified.>.",
                  thrown.getMessage());
    }
    appender->events.clear();
    EXPECT_NO_THROW(KrelRegistry::convertWinErrToException(L"f", ERROR_SUCCESS, L"What"));
    EXPECT_TRUE(appender->events.empty());
}

TEST_F(KrelRegistryTest, OpenTracesItsArgumentsAndTheReturnCode) {
    krel_std_internal::StaticLogTestHook::setThreshold(krel_std::DUMP);
    appender->events.clear();
    registry.openKey(HKEY_CURRENT_USER, path, KEY_READ);
    std::vector<std::wstring> messages;
    for (const krel_std::LogEvent& event : appender->events) {
        if (event.function == L"krel_std::KrelRegistry::openKey") {
            messages.push_back(event.message);
        }
    }
    ASSERT_EQ(3u, messages.size());
    EXPECT_EQ(L"Begin Root <-2147483647> Key <" + path + L"> Access mask <131097>.", messages[0]);
    EXPECT_EQ(0u, messages[1].find(L"RegOpenKeyExW return <0> Created key <"));
    EXPECT_EQ(L"End.", messages[2]);
}

TEST_F(KrelRegistryTest, FailedOpenLeavesTheWrapperClosedWithItsFormerPath) {
    opened();
    EXPECT_THROW(registry.openKey(HKEY_CURRENT_USER, path + L"\\missing", KEY_READ),
                 krel_std::KrelObjectNotFoundException);
    EXPECT_FALSE(registry.isHandleOpen());
    EXPECT_EQ(path, registry.getPath());
}

// A refused name of millions of characters is quoted by a short prefix, not copied whole into
// the message.
TEST_F(KrelRegistryTest, AFailureQuotesALongNameByAShortPrefix) {
    bool existed = false;
    const std::wstring name(1000000, L'n');
    try {
        registry.createKey(existed, HKEY_CURRENT_USER, path + L"\\" + name, KEY_ALL_ACCESS, 0);
        FAIL() << "a key name of a million characters was made";
    } catch (const krel_std::KrelException& thrown) {
        EXPECT_LT(thrown.getMessage().size(), 4000u)
            << "message of " << thrown.getMessage().size() << " characters";
        EXPECT_NE(std::wstring::npos, thrown.getMessage().find(L"Create registry key <"));
    }
}

TEST_F(KrelRegistryTest, CreateKeyTellsWhetherTheKeyExisted) {
    bool existed = true;
    registry.createKey(existed, HKEY_CURRENT_USER, path + L"\\new\\deeper", KEY_ALL_ACCESS, 0);
    EXPECT_FALSE(existed);
    registry.createKey(existed, HKEY_CURRENT_USER, path + L"\\new\\deeper", KEY_ALL_ACCESS, 0);
    EXPECT_TRUE(existed);
    EXPECT_TRUE(registry.isHandleOpen());
    EXPECT_EQ(path + L"\\new\\deeper", registry.getPath());
}

TEST_F(KrelRegistryTest, TextFormShowsTheHandleInEightHexDigitsAndThePath) {
    EXPECT_EQ(L"KrelRegistry{registryHandle=00000000,path=''}", registry.toString());
    opened();
    const std::wstring text = registry.toString();
    const std::wstring prefix = L"KrelRegistry{registryHandle=";
    const std::wstring suffix = L",path='" + path + L"'}";
    ASSERT_EQ(0u, text.find(prefix));
    ASSERT_GT(text.size(), prefix.size() + suffix.size());
    const std::wstring handle =
        text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    EXPECT_EQ(suffix, text.substr(prefix.size() + handle.size()));
    EXPECT_GE(handle.size(), 8u);
    EXPECT_EQ(std::wstring::npos, handle.find_first_not_of(L"0123456789ABCDEF"));
    EXPECT_NE(L"00000000", handle);
}

TEST_F(KrelRegistryTest, ArgumentChecksThrowTheirFixedMessages) {
    const auto messageOf = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const KrelException& thrown) {
            return thrown.getClassName() + L": " + thrown.getMessage();
        }
        return std::wstring(L"nothing thrown");
    };
    const std::wstring nullRoot =
        krel_std::KrelIllegalArgumentException().getClassName() + L": Registry handle is NULL.";
    const std::wstring notOpen = krel_std::KrelIllegalStateException().getClassName() +
                                 L": Parent registry key is not open.";
    const std::wstring emptyName =
        krel_std::KrelIllegalArgumentException().getClassName() + L": Registry key value is empty.";
    EXPECT_EQ(nullRoot, messageOf([&] { registry.openKey(nullptr, path, KEY_READ); }));
    EXPECT_EQ(nullRoot, messageOf([&] { registry.deleteKey(nullptr, path); }));
    EXPECT_EQ(notOpen, messageOf([&] { registry.getStrValue(L"v"); }));
    EXPECT_EQ(notOpen, messageOf([&] { registry.setIntValue(L"v", 1); }));
    EXPECT_EQ(notOpen, messageOf([&] { registry.getKeyValues(); }));
    EXPECT_EQ(emptyName, messageOf([&] { registry.deleteKey(HKEY_CURRENT_USER, L""); }));
    opened();
    EXPECT_EQ(emptyName, messageOf([&] { registry.getIntValue(L"", 0); }));
    EXPECT_EQ(emptyName, messageOf([&] { registry.setStrValue(L"", L"x"); }));
}

TEST_F(KrelRegistryTest, TextsHoldingNulAreRefusedAndNothingIsWrittenUnderTheCutName) {
    const std::wstring nul(1, L'\0');
    const std::wstring cutPath = path + L"\\Nul";
    bool existed = false;
    EXPECT_THROW(registry.createKey(existed, HKEY_CURRENT_USER, cutPath + nul + L"hidden",
                                    KEY_ALL_ACCESS, 0),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_FALSE(registry.isHandleOpen());
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_CURRENT_USER, cutPath.c_str(), 0, KEY_READ, &key));
    setRaw(L"a", REG_SZ, textBytes(L"kept"));
    opened();
    EXPECT_THROW(registry.setStrValue(L"a" + nul + L"b", L"x"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(registry.setStrValue(L"b", L"x" + nul + L"y"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(registry.setIntValue(L"a" + nul + L"b", 1),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(registry.deleteValue(L"a" + nul + L"b"), krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(registry.getStrValue(L"a" + nul + L"b"), krel_std::KrelIllegalArgumentException);
    EXPECT_THROW(registry.deleteKey(HKEY_CURRENT_USER, path + nul + L"x"),
                 krel_std::KrelIllegalArgumentException);
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, textBytes(L"kept")), getRaw(L"a"));
    EXPECT_EQ(REG_NONE, getRaw(L"b").first);
    EXPECT_EQ(std::vector<std::wstring>{L"a"}, registry.getKeysWithValue());
}

TEST_F(KrelRegistryTest, TextsUtf16CannotCarryAreRefusedAndNeverAliasTheReplacementCharacter) {
    const std::wstring aboveUnicode(1, static_cast<wchar_t>(0x110000));
    const std::wstring negative(1, static_cast<wchar_t>(-1));
    setRaw(L"\xFFFD", REG_SZ, textBytes(L"kept"));
    opened();
    for (const std::wstring& bad : {aboveUnicode, negative}) {
        EXPECT_THROW(registry.getStrValue(bad), krel_std::KrelIllegalArgumentException);
        EXPECT_THROW(registry.setStrValue(bad, L"lost"), krel_std::KrelIllegalArgumentException);
        EXPECT_THROW(registry.setStrValue(L"other", bad), krel_std::KrelIllegalArgumentException);
        EXPECT_THROW(KrelRegistry().openKey(HKEY_CURRENT_USER, path + L"\\" + bad, KEY_READ),
                     krel_std::KrelIllegalArgumentException);
    }
    EXPECT_EQ(L"kept", registry.getStrValue(L"\xFFFD"));
    EXPECT_EQ(std::vector<std::wstring>{L"\xFFFD"}, registry.getKeysWithValue());
}

TEST_F(KrelRegistryTest, RefusedTextNamesTheArgumentAndItsFault) {
    opened();
    try {
        registry.setStrValue(L"v", std::wstring(L"x\0y", 3));
        FAIL() << "a value holding NUL was written";
    } catch (const krel_std::KrelIllegalArgumentException& thrown) {
        EXPECT_EQ(L"Registry value holds a NUL character, which would end it early.",
                  thrown.getMessage());
    }
    try {
        registry.getStrValue(std::wstring(1, static_cast<wchar_t>(0x110000)));
        FAIL() << "a name beyond Unicode was read";
    } catch (const krel_std::KrelIllegalArgumentException& thrown) {
        EXPECT_EQ(L"Registry key holds a character that UTF-16 cannot carry unchanged.",
                  thrown.getMessage());
    }
}

TEST_F(KrelRegistryTest, TextOf258UnitsReadsAndALongerOneIsMoreData) {
    const std::wstring longest(258, L'x');
    setRaw(L"fits", REG_SZ, textBytes(longest));
    setRaw(L"long", REG_SZ, textBytes(longest + L"y"));
    EXPECT_EQ(longest, opened().getStrValue(L"fits"));
    try {
        registry.getStrValue(L"long");
        FAIL() << "nothing thrown";
    } catch (const KrelException& thrown) {
        EXPECT_TRUE(typeid(thrown) == typeid(KrelException));
        EXPECT_NE(std::wstring::npos,
                  thrown.getMessage().find(L" More data is available than can fit in buffer: <"));
    }
}

TEST_F(KrelRegistryTest, DwordReadsAsSignedDecimalTextAndAsInteger) {
    setRaw(L"minus", REG_DWORD, dwordBytes(-1));
    EXPECT_EQ(L"-1", opened().getStrValue(L"minus"));
    EXPECT_EQ(-1, registry.getIntValue(L"minus", 7));
}

TEST_F(KrelRegistryTest, ShortDwordReadsFromZero) {
    setRaw(L"short", REG_DWORD, std::string("\x05\x00", 2));
    EXPECT_EQ(L"5", opened().getStrValue(L"short"));
    EXPECT_EQ(5, registry.getIntValue(L"short", 7));
}

TEST_F(KrelRegistryTest, DwordTooLongForItsSecondReadThrowsMoreData) {
    setRaw(L"wide", REG_DWORD, std::string("\x01\x00\x00\x00\x02\x00", 6));
    EXPECT_THROW(opened().getStrValue(L"wide"), KrelException);
    EXPECT_THROW(registry.getIntValue(L"wide", 7), KrelException);
}

TEST_F(KrelRegistryTest, IntegerFromTextIsItsLeadingNumberOrTheDefault) {
    setRaw(L"mixed", REG_SZ, textBytes(L"42abc"));
    setRaw(L"letters", REG_SZ, textBytes(L"abc"));
    setRaw(L"spaced", REG_SZ, textBytes(L" \t-13 4"));
    EXPECT_EQ(42, opened().getIntValue(L"mixed", 7));
    EXPECT_EQ(7, registry.getIntValue(L"letters", 7));
    EXPECT_EQ(-13, registry.getIntValue(L"spaced", 7));
}

TEST_F(KrelRegistryTest, MissingValueThrowsInsteadOfAnsweringTheDefault) {
    try {
        opened().getIntValue(L"absent", 7);
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelObjectNotFoundException& thrown) {
        EXPECT_EQ(0u, thrown.getMessage().find(L"Get registry key <absent> under path <"));
    }
}

TEST_F(KrelRegistryTest, OtherTypesAreRefusedAfterSTD3001) {
    setRaw(L"blob", REG_BINARY, "\x01\x02");
    opened();
    appender->events.clear();
    try {
        registry.getStrValue(L"blob");
        FAIL() << "nothing thrown";
    } catch (const krel_std::KrelObjectNotFoundException& thrown) {
        EXPECT_EQ(L"Registry key <blob> is not of REG_SZ or REG_DWORD type.", thrown.getMessage());
    }
    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(L"STD3001", appender->events[0].errorId);
    EXPECT_THROW(registry.getIntValue(L"blob", 0), krel_std::KrelObjectNotFoundException);
}

TEST_F(KrelRegistryTest, SettersWriteWindowsBytes) {
    const std::wstring beyondReadLimit(300, L'z');
    opened().setStrValue(L"text", L"a\U0001F600");
    registry.setStrValue(L"long", beyondReadLimit);
    registry.setIntValue(L"number", -2);
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, textBytes(L"a\U0001F600")), getRaw(L"text"));
    EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, textBytes(beyondReadLimit)), getRaw(L"long"));
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, dwordBytes(-2)), getRaw(L"number"));
}

TEST_F(KrelRegistryTest, DeletedValueIsGoneAndDeletingItAgainThrows) {
    setRaw(L"v", REG_SZ, textBytes(L"x"));
    opened().deleteValue(L"v");
    EXPECT_EQ(REG_NONE, getRaw(L"v").first);
    EXPECT_THROW(registry.deleteValue(L"v"), krel_std::KrelObjectNotFoundException);
}

TEST_F(KrelRegistryTest, DeleteKeyNeedsNoOpenKeyAndRemovesTheSubtree) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (path + L"\\tree\\leaf").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    KrelRegistry fresh;
    fresh.deleteKey(HKEY_CURRENT_USER, path + L"\\tree");
    EXPECT_FALSE(fresh.isHandleOpen());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_CURRENT_USER, (path + L"\\tree").c_str(), 0, KEY_READ, &key));
}

TEST_F(KrelRegistryTest, HandleOfADeletedKeyIsAnIllegalState) {
    opened();
    KrelRegistry().deleteKey(HKEY_CURRENT_USER, path);
    EXPECT_THROW(registry.getStrValue(L"v"), krel_std::KrelIllegalStateException);
}

TEST_F(KrelRegistryTest, GetKeysListsTheSubkeys) {
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CURRENT_USER, (path + L"\\" + name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"beta", L"gamma"}), opened().getKeys());
}

TEST_F(KrelRegistryTest, KeysWithValueLeaveOutEmptyValues) {
    setRaw(L"empty", REG_SZ, textBytes(L""));
    setRaw(L"zero", REG_DWORD, dwordBytes(0));
    setRaw(L"text", REG_SZ, textBytes(L"t"));
    setRaw(L"nothing", REG_BINARY, "");
    setRaw(L"byte", REG_BINARY, std::string(1, '\0'));
    setRaw(L"long", REG_SZ, textBytes(std::wstring(400, L'l')));
    EXPECT_EQ((std::vector<std::wstring>{L"zero", L"text", L"byte", L"long"}),
              opened().getKeysWithValue());
}

TEST_F(KrelRegistryTest, KeyValuesGiveEveryValueWithItsTextInCreationOrder) {
    setRaw(L"text", REG_SZ, textBytes(L"hello"));
    setRaw(L"number", REG_DWORD, dwordBytes(-42));
    setRaw(L"blob", REG_BINARY, "\x01\x02\x03\x04");
    setRaw(L"empty", REG_SZ, textBytes(L""));
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"text", L"hello"}, {L"number", L"-42"}, {L"blob", L""}, {L"empty", L""}};
    EXPECT_EQ(expected, opened().getKeyValues());
}

TEST_F(KrelRegistryTest, ValueTooLongForTheListingNeverShowsThePreviousText) {
    setRaw(L"short", REG_SZ, textBytes(L"previous"));
    setRaw(L"long", REG_SZ, textBytes(std::wstring(300, L'l')));
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"short", L"previous"},
                                                                         {L"long", L""}};
    EXPECT_EQ(expected, opened().getKeyValues());
}

TEST_F(KrelRegistryTest, SelfAssignmentKeepsTheKeyOpen) {
    opened();
    const KrelRegistry& same = registry;
    registry = same;
    EXPECT_TRUE(registry.isHandleOpen());
    EXPECT_NO_THROW(registry.setIntValue(L"still", 1));
}

TEST_F(KrelRegistryTest, CopiesTakeThePathButNoKey) {
    opened();
    KrelRegistry copy(registry);
    EXPECT_FALSE(copy.isHandleOpen());
    EXPECT_EQ(path, copy.getPath());
    KrelRegistry target;
    target.openKey(HKEY_CURRENT_USER, L"Software", KEY_READ);
    target = registry;
    EXPECT_FALSE(target.isHandleOpen());
    EXPECT_EQ(path, target.getPath());
    EXPECT_TRUE(registry.isHandleOpen());
}

// Takes the key handle away from under a wrapper, so that closing it fails: the handle that
// toString shows is closed in the handle table.
void closeBehindTheWrapper(const KrelRegistry& wrapper) {
    const std::wstring text = wrapper.toString();
    const std::size_t start = text.find(L'=') + 1;
    const uintptr_t handle = std::stoull(text.substr(start, text.find(L',') - start), nullptr, 16);
    ASSERT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(handle)));
}

TEST_F(KrelRegistryTest, FailedCloseClearsTheHandleAndThrows) {
    closeBehindTheWrapper(opened());
    EXPECT_THROW(registry.closeKey(), krel_std::KrelIllegalArgumentException);
    EXPECT_FALSE(registry.isHandleOpen());
}

TEST_F(KrelRegistryTest, DestructorSwallowsAFailedClose) {
    appender->events.clear();
    EXPECT_NO_THROW({
        KrelRegistry doomed;
        doomed.openKey(HKEY_CURRENT_USER, path, KEY_READ);
        closeBehindTheWrapper(doomed);
    });
    ASSERT_EQ(1u, appender->events.size());
    EXPECT_EQ(L"STD3000", appender->events[0].errorId);
}

} // namespace
