#include "prefs/RegistryPreferences.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "exception/KrelAccessException.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "prefs/Preferences.h"
#include "regprefs/RegistryPrefsTestSupport.h"
#include "support/MemoryPreferences.h"

namespace {

using krel_std::Preferences;
using krel_std::RegistryPreferences;

class RegistryNodeTest : public krel_test::RegistryPreferencesTest {
protected:
    std::string toolRead(const std::string& key, const std::string& name) {
        std::string output;
        EXPECT_EQ(runTool({"read", key, name}, &output), 0);
        return output;
    }

    // Whether the action throws a backing store exception caused by a Cause.
    template <class Cause, class Action> static bool failsWithCause(Action action) {
        try {
            action();
        } catch (const krel_std::KrelBackingStoreException& exception) {
            const std::unique_ptr<krel_std::KrelException> cause(exception.getNestedException());
            return dynamic_cast<Cause*>(cause.get()) != nullptr;
        }
        return false;
    }
};

TEST_F(RegistryNodeTest, UserNodeIsTheKeyOfItsPathDirectlyUnderTheUserHive) {
    userNode(L"/a/b")->put(L"k", L"v");
    EXPECT_EQ(toolRead(toolKey("HKCU", "\\a\\b"), "k"), "v\n");
}

TEST_F(RegistryNodeTest, SystemRootValuesLieOnTheMachineHivesRootKey) {
    const std::wstring name = top + L"Value";
    RegistryPreferences::getSystemRoot()->put(name, L"machine");
    EXPECT_EQ(toolRead("HKLM", krel_platform::wideToUtf8(name)), "machine\n");
    RegistryPreferences::getSystemRoot()->remove(name);
}

TEST_F(RegistryNodeTest, BackslashInANodeNameNestsKeys) {
    userNode()->node(L"x\\y")->put(L"k", L"nested");
    EXPECT_EQ(toolRead(toolKey("HKCU", "\\x\\y"), "k"), "nested\n");
}

TEST_F(RegistryNodeTest, MakingANodeCreatesItsKeyBeforeAnyValue) {
    userNode(L"/made");
    HKEY key = nullptr;
    EXPECT_EQ(openKey(top + L"\\made", key), ERROR_SUCCESS);
}

TEST_F(RegistryNodeTest, ListenerPathsNameTheHiveAndThePath) {
    EXPECT_EQ(RegistryPreferences::getUserRoot()->buildListenerPath(), L"HKEY_CURRENT_USER\\");
    EXPECT_EQ(systemNode(L"/a")->buildListenerPath(), L"HKEY_LOCAL_MACHINE\\" + top + L"\\a");
}

TEST_F(RegistryNodeTest, IntegersAndTextReadEachOther) {
    const auto node = userNode();
    node->putInt(L"number", 7);
    node->put(L"text", L"12");
    node->put(L"word", L"x");
    node->putInt(L"negative", -1);
    EXPECT_EQ(node->get(L"number", L"none"), L"7");
    EXPECT_EQ(node->getInt(L"text", 0), 12);
    EXPECT_EQ(node->getInt(L"word", 5), 5);
    EXPECT_EQ(node->get(L"negative", L"none"), L"-1");
    EXPECT_EQ(toolRead(toolKey("HKCU"), "number"), "7\n");
}

TEST_F(RegistryNodeTest, OtherValueTypesAnswerTheDefaultAndKeysListOnlyValuesWithData) {
    const HKEY key = userKey();
    const BYTE bytes[2] = {1, 2};
    ASSERT_EQ(RegSetValueExW(key, L"binary", 0, REG_BINARY, bytes, 2), ERROR_SUCCESS);
    const std::vector<BYTE> expand = stringBytes(L"%PATH%");
    ASSERT_EQ(RegSetValueExW(key, L"expand", 0, REG_EXPAND_SZ, expand.data(),
                             static_cast<DWORD>(expand.size())),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"empty", L""), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"text", L"t"), ERROR_SUCCESS);

    const auto node = userNode();
    EXPECT_EQ(node->get(L"binary", L"def"), L"def");
    EXPECT_EQ(node->get(L"expand", L"def"), L"def");
    EXPECT_EQ(node->keys(), (std::vector<std::wstring>{L"binary", L"expand", L"text"}));
}

TEST_F(RegistryNodeTest, TextsLongerThanTheWrappersBufferRoundTripWhole) {
    const auto node = userNode();
    const std::wstring medium(300, L'm');
    const std::wstring longest(Preferences::MAX_PREF_VALUE_LENGTH, L'l');
    node->put(L"medium", medium);
    node->put(L"longest", longest);
    EXPECT_EQ(node->get(L"medium", L"def"), medium);
    EXPECT_EQ(node->get(L"longest", L"def"), longest);
}

TEST_F(RegistryNodeTest, GetSeesATextAnotherProcessWrote) {
    const auto node = userNode();
    node->put(L"k", L"mine");
    ASSERT_EQ(node->get(L"k", L"def"), L"mine");
    ASSERT_EQ(runTool({"write", toolKey("HKCU"), "k", "REG_SZ", "theirs"}), 0);
    EXPECT_EQ(node->get(L"k", L"def"), L"theirs");
}

TEST_F(RegistryNodeTest, GetAnswersTheDefaultOnceAnotherProcessDeletesTheValue) {
    const auto node = userNode();
    node->put(L"k", L"mine");
    ASSERT_EQ(node->get(L"k", L"def"), L"mine");
    ASSERT_EQ(runTool({"delete-value", toolKey("HKCU"), "k"}), 0);
    EXPECT_EQ(node->get(L"k", L"def"), L"def");
}

TEST_F(RegistryNodeTest, GetFollowsItsKeyDeletedAndMadeAgainByAnotherProcess) {
    const auto node = userNode(L"/remade");
    node->put(L"k", L"mine");
    ASSERT_EQ(node->get(L"k", L"def"), L"mine");
    ASSERT_EQ(runTool({"delete-key", toolKey("HKCU", "\\remade")}), 0);
    EXPECT_EQ(node->get(L"k", L"def"), L"def");
    ASSERT_EQ(runTool({"write", toolKey("HKCU", "\\remade"), "k", "REG_SZ", "theirs"}), 0);
    EXPECT_EQ(node->get(L"k", L"def"), L"theirs");
}

TEST_F(RegistryNodeTest, GetReadsTheRegistryInUseAfterTheStoreIsReopened) {
    const auto node = userNode();
    node->put(L"k", L"before");
    ASSERT_EQ(node->get(L"k", L"def"), L"before");
    const std::filesystem::path other = root / "other";
    std::filesystem::create_directories(other);
    setenv("KREL_REGISTRY_DIR", other.c_str(), 1);
    krel_platform::reopenRegistryStore();
    EXPECT_EQ(node->get(L"k", L"def"), L"def");
    ASSERT_EQ(setString(createKey(top), L"k", L"after"), ERROR_SUCCESS);
    EXPECT_EQ(node->get(L"k", L"def"), L"after");
}

TEST_F(RegistryNodeTest, TextReadsUpToItsFirstNulAndAnOddLastByteIsACharacter) {
    const HKEY key = userKey();
    const BYTE odd[3] = {'a', 0, 'b'};
    ASSERT_EQ(RegSetValueExW(key, L"odd", 0, REG_SZ, odd, 3), ERROR_SUCCESS);
    const BYTE inner[8] = {'x', 0, 0, 0, 'y', 0, 0, 0};
    ASSERT_EQ(RegSetValueExW(key, L"inner", 0, REG_SZ, inner, 8), ERROR_SUCCESS);
    const std::vector<BYTE> surrogates = stringBytes(L"\U0001F600 ok");
    ASSERT_EQ(RegSetValueExW(key, L"pair", 0, REG_SZ, surrogates.data(),
                             static_cast<DWORD>(surrogates.size())),
              ERROR_SUCCESS);

    const auto node = userNode();
    EXPECT_EQ(node->get(L"odd", L"def"), L"ab");
    EXPECT_EQ(node->get(L"inner", L"def"), L"x");
    EXPECT_EQ(node->get(L"pair", L"def"), L"\U0001F600 ok");
}

TEST_F(RegistryNodeTest, TextReadsUpToItsFirstNulWhereverItLies) {
    const HKEY key = userKey();
    const std::wstring whole = L"0123456789abcdefghij";
    const auto node = userNode();
    for (size_t at = 0; at <= whole.size(); ++at) {
        std::vector<BYTE> bytes = stringBytes(whole);
        bytes[2 * at] = 0;
        bytes[2 * at + 1] = 0;
        ASSERT_EQ(
            RegSetValueExW(key, L"cut", 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
        EXPECT_EQ(node->get(L"cut", L"def"), whole.substr(0, at)) << "NUL at " << at;
    }
    const std::vector<BYTE> unterminated(2 * 9, 'u');
    ASSERT_EQ(RegSetValueExW(key, L"cut", 0, REG_SZ, unterminated.data(),
                             static_cast<DWORD>(unterminated.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(node->get(L"cut", L"def"), std::wstring(9, L'\x7575'));
}

TEST_F(RegistryNodeTest, ChildrenAreTheSubkeys) {
    userNode(L"/p/one");
    userNode(L"/p/two");
    EXPECT_EQ(userNode(L"/p")->childrenNames(), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_TRUE(userNode()->nodeExists(L"p/two"));
    EXPECT_FALSE(userNode()->nodeExists(L"p/three"));
}

TEST_F(RegistryNodeTest, RemoveNodeDeletesTheKeyWithItsSubkeys) {
    userNode(L"/gone/deeper/deepest")->put(L"k", L"v");
    userNode(L"/gone")->removeNode();
    HKEY key = nullptr;
    EXPECT_EQ(openKey(top + L"\\gone", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryNodeTest, WritesOnAReadOnlyHiveAreSwallowed) {
    const auto node = systemNode();
    node->put(L"kept", L"before");
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    node->put(L"kept", L"after");
    node->putInt(L"number", 3);
    node->remove(L"kept");
    EXPECT_EQ(node->get(L"kept", L"def"), L"before");
    EXPECT_EQ(node->getInt(L"number", -5), -5);
}

TEST_F(RegistryNodeTest, RefusedRemovalThrowsBackingStoreWithTheCause) {
    const auto node = systemNode(L"/child");
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);
    EXPECT_TRUE(failsWithCause<krel_std::KrelAccessException>([&] { node->removeNode(); }));
}

TEST_F(RegistryNodeTest, ListingAKeyDeletedOutsideThrowsBackingStoreWithTheCause) {
    const auto node = userNode(L"/outside");
    ASSERT_EQ(runTool({"delete-key", toolKey("HKCU", "\\outside")}), 0);
    EXPECT_TRUE(
        failsWithCause<krel_std::KrelObjectNotFoundException>([&] { node->childrenNames(); }));
    EXPECT_TRUE(failsWithCause<krel_std::KrelObjectNotFoundException>([&] { node->keys(); }));
    // A node whose key went away takes no values until it is made again.
    node->put(L"k", L"v");
    EXPECT_EQ(node->get(L"k", L"def"), L"def");
}

TEST_F(RegistryNodeTest, UserNodesStayOnTheUserHiveWhileAnotherFactoryIsInUse) {
    krel_test::MemoryPreferencesSelection selection;
    const auto node = userNode(L"/elsewhere");
    node->put(L"k", L"user");
    EXPECT_EQ(toolRead(toolKey("HKCU", "\\elsewhere"), "k"), "user\n");
    EXPECT_EQ(node->get(L"k", L"def"), L"user");
    EXPECT_EQ(node->buildListenerPath(), L"HKEY_CURRENT_USER\\" + top + L"\\elsewhere");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (top + L"\\elsewhere").c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
