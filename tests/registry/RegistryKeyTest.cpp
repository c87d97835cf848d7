// Keys of the registry stand-in: paths, names, order, handles, access and the roots.
#include "RegistryTestSupport.h"
#include "platform/WinHandles.h"
#include "platform/WinSync.h"

namespace {

using RegistryKeyTest = RegistryTest;

TEST_F(RegistryKeyTest, CreateMakesEveryMissingKeyAndReportsTheDisposition) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    HKEY middle = nullptr;
    EXPECT_EQ(openKey(L"A\\B", middle), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, OpeningAMissingKeyIsNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(openKey(L"Nowhere\\Else", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryKeyTest, MalformedPathsAreBadPathnames) {
    HKEY key = nullptr;
    EXPECT_EQ(openKey(L"\\Software", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(openKey(L"Software\\\\Sub", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_BAD_PATHNAME);
}

TEST_F(RegistryKeyTest, TrailingBackslashIsIgnoredAndSlashIsPartOfAName) {
    createKey(L"Software\\with/slash\\");

    EXPECT_EQ(subkeyNames(createKey(L"Software")), std::vector<std::wstring>{L"with/slash"});
}

TEST_F(RegistryKeyTest, KeyNameLimitIs255Utf16Units) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::wstring(256, L'k').c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::wstring(128, L'\U0001F600').c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    createKey(std::wstring(255, L'k'));
}

TEST_F(RegistryKeyTest, EmptyPathOpensTheKeyItselfAndTheHiveRootHoldsValues) {
    ASSERT_EQ(setString(HKEY_CURRENT_USER, L"atRoot", L"root value"), ERROR_SUCCESS);

    HKEY root = nullptr;
    ASSERT_EQ(openKey(L"", root), ERROR_SUCCESS);
    EXPECT_EQ(readString(root, L"atRoot"), L"root value");
}

TEST_F(RegistryKeyTest, KeyNamesAreCaseInsensitiveAndKeepTheFirstSpelling) {
    const HKEY first = createKey(L"Software\\\u00c9cole");
    ASSERT_EQ(setString(first, L"v", L"same key"), ERROR_SUCCESS);

    HKEY again = nullptr;
    ASSERT_EQ(openKey(L"SOFTWARE\\\u00e9COLE", again), ERROR_SUCCESS);
    EXPECT_EQ(readString(again, L"v"), L"same key");
    EXPECT_EQ(subkeyNames(createKey(L"software")), std::vector<std::wstring>{L"\u00c9cole"});
}

TEST_F(RegistryKeyTest, SubkeysEnumerateInUpperCaseOrder) {
    for (const wchar_t* name : {L"beta", L"_under", L"Alpha", L"gamma", L"Z", L"a1"}) {
        createKey(std::wstring(L"Order\\") + name);
    }

    EXPECT_EQ(subkeyNames(createKey(L"Order")),
              (std::vector<std::wstring>{L"a1", L"Alpha", L"beta", L"gamma", L"Z", L"_under"}));
}

TEST_F(RegistryKeyTest, EnumerationPastTheLastSubkeyAnswersNoMoreItems) {
    const HKEY key = createKey(L"Parent\\Child");
    HKEY parent = nullptr;
    ASSERT_EQ(openKey(L"Parent", parent), ERROR_SUCCESS);

    wchar_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(parent, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    length = 16;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryKeyTest, SubkeyNameTooLongIsTruncatedAndTerminated) {
    const HKEY parent = createKey(L"Parent");
    createKey(L"Parent\\LongChildName");

    wchar_t name[6];
    DWORD length = 6;
    EXPECT_EQ(RegEnumKeyExW(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::wstring(name), L"LongC");
}

TEST_F(RegistryKeyTest, EveryCallOnADeletedKeysHandleAnswersKeyDeleted) {
    const HKEY key = createKey(L"Doomed\\Inner");
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, L"Doomed"), ERROR_SUCCESS);

    DWORD size = 0;
    wchar_t name[16];
    DWORD length = 16;
    HKEY other = nullptr;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(setString(key, L"v", L"y"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueW(key, L"v"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExW(key, L"", 0, KEY_READ, &other), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExW(key, L"Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(SHDeleteKeyW(key, L""), ERROR_KEY_DELETED);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              ERROR_KEY_DELETED);
    CloseHandle(event);
}

TEST_F(RegistryKeyTest, KeyMadeAgainAtADeletedPathIsAnotherKey) {
    const HKEY old = createKey(L"Phoenix");
    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, L"Phoenix"), ERROR_SUCCESS);
    const HKEY reborn = createKey(L"Phoenix");

    EXPECT_EQ(setString(reborn, L"v", L"new"), ERROR_SUCCESS);
    EXPECT_EQ(setString(old, L"v", L"old"), ERROR_KEY_DELETED);
    EXPECT_EQ(readString(reborn, L"v"), L"new");
}

TEST_F(RegistryKeyTest, DeletingASubtreeRemovesEveryKeyAndValueBelowIt) {
    setString(createKey(L"Tree\\Branch\\Leaf"), L"v", L"x");
    createKey(L"Tree\\Other");
    createKey(L"Kept");
    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, L"tree"), ERROR_SUCCESS);

    HKEY key = nullptr;
    EXPECT_EQ(openKey(L"Tree", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(openKey(L"Tree\\Branch\\Leaf", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, L"Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(openKey(L"Kept", key), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, SubtreeDeletionRefusesAHiveRoot) {
    createKey(L"Survivor");
    HKEY root = nullptr;
    ASSERT_EQ(openKey(L"", root), ERROR_SUCCESS);

    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, L""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SHDeleteKeyW(root, L""), ERROR_ACCESS_DENIED);
    HKEY key = nullptr;
    EXPECT_EQ(openKey(L"Survivor", key), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, HivesAreSeparate) {
    setString(createKey(L"Shared\\Name"), L"v", L"user");
    setString(createKey(L"Shared\\Name", KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE), L"v", L"machine");

    HKEY machine = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Shared\\Name", 0, KEY_READ, &machine),
              ERROR_SUCCESS);
    EXPECT_EQ(readString(machine, L"v"), L"machine");
    RegCloseKey(machine);
    EXPECT_TRUE(std::filesystem::exists(native("user.db")));
    EXPECT_TRUE(std::filesystem::exists(native("machine.db")));
}

TEST_F(RegistryKeyTest, RootPassedThroughAnIntFindsItsHive) {
    setString(createKey(L"Narrow"), L"v", L"found");
    const uint32_t narrowed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER));
    const HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<uintptr_t>(narrowed));

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(zeroExtended, L"Narrow", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(readString(key, L"v"), L"found");
    RegCloseKey(key);
}

TEST_F(RegistryKeyTest, OtherRootsAndClosedOrForeignHandlesAreInvalid) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, L"", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Closed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, L"v", L"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(setString(reinterpret_cast<HKEY>(event), L"v", L"x"), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_F(RegistryKeyTest, HandlesOpenedBeforeTheStoreReopensAreInvalid) {
    const HKEY key = createKey(L"Before");
    krel_platform::reopenRegistryStore();

    EXPECT_EQ(setString(key, L"v", L"x"), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeyTest, AccessMaskIsEnforcedPerOperation) {
    createKey(L"Guarded\\Child");
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    HKEY nothing = nullptr;
    ASSERT_EQ(openKey(L"Guarded", reader, KEY_QUERY_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(openKey(L"Guarded", writer, KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(openKey(L"Guarded", nothing, 0), ERROR_SUCCESS);
    ASSERT_EQ(setString(writer, L"v", L"x"), ERROR_SUCCESS);

    DWORD size = 0;
    wchar_t name[16];
    DWORD length = 16;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(setString(reader, L"v", L"y"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(reader, L"v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExW(writer, L"v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegEnumKeyExW(reader, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegNotifyChangeKeyValue(nothing, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExW(reader, L"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    CloseHandle(event);
}

TEST_F(RegistryKeyTest, CreatingASubkeyNeedsTheRightToCreateOnItsParent) {
    createKey(L"Parent\\Existing");
    HKEY reader = nullptr;
    ASSERT_EQ(openKey(L"Parent", reader, KEY_READ), ERROR_SUCCESS);

    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(reader, L"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCreateKeyExW(reader, L"Existing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
}

TEST_F(RegistryKeyTest, HiveDirectoryFollowsTheEnvironment) {
    EXPECT_EQ(krel_platform::registryHiveDirectory(HKEY_LOCAL_MACHINE), root.string());
    unsetenv("KREL_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", native("config").c_str(), 1);
    EXPECT_EQ(krel_platform::registryHiveDirectory(HKEY_CURRENT_USER),
              native("config").string() + "/krelstd/registry");
    EXPECT_EQ(krel_platform::registryHiveDirectory(HKEY_LOCAL_MACHINE),
              "/var/lib/krelstd/registry");
    unsetenv("XDG_CONFIG_HOME");
    setenv("KREL_REGISTRY_DIR", root.c_str(), 1);
}

TEST_F(RegistryKeyTest, ReadOnlyHiveRefusesWritesAndStillReads) {
    const HKEY key = createKey(L"Frozen", KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    ASSERT_EQ(setString(key, L"v", L"before"), ERROR_SUCCESS);
    krel_platform::setRegistryHiveReadOnly(HKEY_LOCAL_MACHINE, true);

    HKEY created = nullptr;
    EXPECT_EQ(setString(key, L"v", L"after"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(key, L"v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Frozen"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Frozen\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &created, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(readString(key, L"v"), L"before");
    EXPECT_EQ(setString(createKey(L"Thawed"), L"v", L"user hive"), ERROR_SUCCESS);
}

} // namespace

namespace {

// The process keeps the removed database open, so it goes on answering from it, remembered
// lookups and fresh ones alike.
TEST_F(RegistryKeyTest, KeysOfAHiveWhoseDirectoryWasRemovedOpenAsTheDatabaseAnswers) {
    createKey(L"Software\\Kept");
    HKEY key = nullptr;
    ASSERT_EQ(openKey(L"Software\\Kept", key), ERROR_SUCCESS);

    std::filesystem::remove_all(root);
    HKEY software = nullptr;
    ASSERT_EQ(openKey(L"Software", software), ERROR_SUCCESS);
    HKEY fresh = nullptr;
    ASSERT_EQ(RegOpenKeyExW(software, L"Kept", 0, KEY_READ, &fresh), ERROR_SUCCESS);
    opened.push_back(fresh);
    EXPECT_EQ(openKey(L"Software\\Kept", key), ERROR_SUCCESS);
    EXPECT_EQ(openKey(L"Software\\Missing", key), ERROR_FILE_NOT_FOUND);
}

} // namespace
