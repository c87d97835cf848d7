// krel-admin as another process sees the registry: it reads what this process wrote, and this
// process reads what it wrote.
#include "RegistryTestSupport.h"

namespace {

using AdminToolTest = RegistryTest;

TEST_F(AdminToolTest, ListShowsValuesInOrderThenSubkeys) {
    const HKEY key = createKey(L"Software\\Listed");
    ASSERT_EQ(setString(key, L"name", L"h\u00e9llo"), ERROR_SUCCESS);
    ASSERT_EQ(setNumber(key, L"count", 42), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"", L"default"), ERROR_SUCCESS);
    createKey(L"Software\\Listed\\b");
    createKey(L"Software\\Listed\\A");

    std::string output;
    ASSERT_EQ(runTool({"list", "hkcu\\Software\\Listed"}, &output), 0);
    EXPECT_EQ(output, "HKEY_CURRENT_USER\\Software\\Listed\n"
                      "    name    REG_SZ    h\xc3\xa9llo\n"
                      "    count    REG_DWORD    42\n"
                      "    (Default)    REG_SZ    default\n"
                      "HKEY_CURRENT_USER\\Software\\Listed\\A\n"
                      "HKEY_CURRENT_USER\\Software\\Listed\\b\n");
}

TEST_F(AdminToolTest, WrittenValuesReadBackAsWindowsBytes) {
    ASSERT_EQ(runTool({"write", "HKLM\\Software\\Tool", "text", "REG_SZ", "caf\xc3\xa9"}), 0);
    ASSERT_EQ(runTool({"write", "HKLM\\Software\\Tool", "number", "REG_DWORD", "0x10"}), 0);
    ASSERT_EQ(runTool({"write", "HKLM\\Software\\Tool", "list", "REG_MULTI_SZ", "a\\0b"}), 0);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\tool", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    opened.push_back(key);
    EXPECT_EQ(readString(key, L"text"), L"caf\u00e9");
    DWORD number = 0;
    DWORD size = sizeof number;
    ASSERT_EQ(
        RegQueryValueExW(key, L"number", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(number, 16u);
    BYTE list[16] = {};
    size = sizeof list;
    ASSERT_EQ(RegQueryValueExW(key, L"list", nullptr, nullptr, list, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(list, list + size),
              (std::vector<BYTE>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
}

TEST_F(AdminToolTest, ReadPrintsTheData) {
    ASSERT_EQ(setNumber(createKey(L"Software\\Read"), L"n", 7), ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"read", "HKCU\\SOFTWARE\\READ", "N"}, &output), 0);
    EXPECT_EQ(output, "7\n");
}

TEST_F(AdminToolTest, DeletionsAreSeenHere) {
    const HKEY key = createKey(L"Software\\Deleted\\Deeper");
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, L"w", L"x"), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"delete-value", "HKCU\\Software\\Deleted\\Deeper", "v"}), 0);
    EXPECT_EQ(valueNames(key), std::vector<std::wstring>{L"w"});
    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Deleted"}), 0);
    EXPECT_EQ(setString(key, L"v", L"x"), ERROR_KEY_DELETED);
}

TEST_F(AdminToolTest, ValueWrittenByTheToolIsReadAtOnceAfterEarlierReads) {
    const HKEY key = createKey(L"Software\\Fresh");
    ASSERT_EQ(setString(key, L"v", L"old"), ERROR_SUCCESS);
    ASSERT_EQ(readString(key, L"v"), L"old");
    ASSERT_EQ(readString(key, L"v"), L"old");

    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Fresh", "v", "REG_SZ", "new"}), 0);
    EXPECT_EQ(readString(key, L"v"), L"new");
}

TEST_F(AdminToolTest, KeyDeletedByTheToolAnswersKeyDeletedAfterEarlierReads) {
    const HKEY key = createKey(L"Software\\Gone");
    ASSERT_EQ(setString(key, L"v", L"x"), ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(key, L"missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Gone"}), 0);
    EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(key, L"missing", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
}

TEST_F(AdminToolTest, KeyDeletedByTheToolIsNotFoundAfterEarlierOpens) {
    createKey(L"Software\\Opened\\Deeper");
    HKEY key = nullptr;
    ASSERT_EQ(openKey(L"Software\\Opened\\Deeper", key), ERROR_SUCCESS);
    ASSERT_EQ(openKey(L"Software\\Opened\\Deeper", key), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Opened"}), 0);
    EXPECT_EQ(openKey(L"Software\\Opened\\Deeper", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(openKey(L"Software\\Opened", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(AdminToolTest, KeyMadeAgainByTheToolOpensAsTheNewKey) {
    const HKEY old = createKey(L"Software\\Again");
    ASSERT_EQ(setString(old, L"v", L"old"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(openKey(L"Software\\Again", key), ERROR_SUCCESS);

    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Again"}), 0);
    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Again", "v", "REG_SZ", "new"}), 0);
    ASSERT_EQ(openKey(L"Software\\Again", key), ERROR_SUCCESS);
    EXPECT_EQ(readString(key, L"v"), L"new");
    EXPECT_EQ(setString(old, L"v", L"x"), ERROR_KEY_DELETED);
}

TEST_F(AdminToolTest, KeyCreatedByTheToolAfterFailedOpensIsFound) {
    HKEY key = nullptr;
    ASSERT_EQ(openKey(L"Software\\Later", key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(openKey(L"Software\\Later", key), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Later", "v", "REG_DWORD", "1"}), 0);
    EXPECT_EQ(openKey(L"Software\\Later", key), ERROR_SUCCESS);
}

TEST_F(AdminToolTest, OpeningBelowAHandleWhoseKeyTheToolDeletedAnswersKeyDeleted) {
    const HKEY base = createKey(L"Software\\Base");
    createKey(L"Software\\Base\\Child");
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(base, L"Child", 0, KEY_READ, &child), ERROR_SUCCESS);
    opened.push_back(child);

    ASSERT_EQ(runTool({"delete-key", "HKCU\\Software\\Base"}), 0);
    EXPECT_EQ(RegOpenKeyExW(base, L"Child", 0, KEY_READ, &child), ERROR_KEY_DELETED);
}

// Runs the tool as the user "nobody", who may read the test's registry but not write it, as
// a user reads the machine's hive; needs root to change user.
TEST_F(AdminToolTest, UserWhoCannotWriteTheHiveFilesReadsAndIsRefusedWrites) {
    const char* const changeUser = "/usr/bin/setpriv";
    if (geteuid() != 0 || access(changeUser, X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv";
    }
    ASSERT_EQ(setString(createKey(L"Software\\Shared", KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE), L"v",
                        L"machine"),
              ERROR_SUCCESS);
    std::filesystem::permissions(
        root, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
    const std::vector<std::string> asNobody{changeUser, "--reuid=65534", "--regid=65534",
                                            "--clear-groups", KREL_ADMIN_TOOL};
    std::vector<std::string> help = asNobody;
    help.push_back("help");
    if (runProgram(help, nullptr) != 0) {
        GTEST_SKIP() << "the tool cannot be run as nobody from here";
    }

    std::vector<std::string> read = asNobody;
    read.insert(read.end(), {"read", "HKLM\\Software\\Shared", "v"});
    std::string output;
    EXPECT_EQ(runProgram(read, &output), 0);
    EXPECT_EQ(output, "machine\n");
    std::vector<std::string> write = asNobody;
    write.insert(write.end(), {"write", "HKLM\\Software\\Shared", "v", "REG_SZ", "nobody"});
    EXPECT_EQ(runProgram(write, nullptr), 1);
    EXPECT_EQ(readString(createKey(L"Software\\Shared", KEY_READ, HKEY_LOCAL_MACHINE), L"v"),
              L"machine");
}

TEST_F(AdminToolTest, RefusalsAndWrongUsageHaveTheirExitCodes) {
    EXPECT_EQ(runTool({"read", "HKCU\\Missing", "v"}), 1);
    EXPECT_EQ(runTool({"delete-key", "HKCU"}), 1);
    EXPECT_EQ(runTool({"read", "HKCR\\Software", "v"}), 2);
    EXPECT_EQ(runTool({"write", "HKCU\\Software", "v", "REG_DWORD", "-1"}), 2);
    EXPECT_EQ(runTool({"write", "HKCU\\Software", "v", "REG_BINARY", "0g"}), 2);
    EXPECT_EQ(runTool({"list"}), 2);
    EXPECT_EQ(runTool({"frobnicate"}), 2);
}

TEST_F(AdminToolTest, ListingOfAValueHoldingALineBreakAndAnEscapeStaysOnOneLine) {
    ASSERT_EQ(setString(createKey(L"Software\\Forged"), L"v", L"a\nRecord: 9\x1B[31m\tend"),
              ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"list", "HKCU\\Software\\Forged"}, &output), 0);
    EXPECT_EQ(output, "HKEY_CURRENT_USER\\Software\\Forged\n"
                      "    v    REG_SZ    a\\nRecord: 9\\x1B[31m\\tend\n");
}

TEST_F(AdminToolTest, ReadEscapesControlCharactersOfTheData) {
    ASSERT_EQ(setString(createKey(L"Software\\Forged"), L"v", L"one\r\ntwo\x07"), ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"read", "HKCU\\Software\\Forged", "v"}, &output), 0);
    EXPECT_EQ(output, "one\\r\\ntwo\\x07\n");
}

TEST_F(AdminToolTest, ReadPrintsATabAndTheTextBackslashTDifferently) {
    ASSERT_EQ(setString(createKey(L"Software\\Escaped"), L"v", L"a\tb\\tc"), ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"read", "HKCU\\Software\\Escaped", "v"}, &output), 0);
    EXPECT_EQ(output, "a\\tb\\\\tc\n");
}

TEST_F(AdminToolTest, ListDoublesBackslashesOfValueNamesAndDataButNotOfKeyPaths) {
    const HKEY key = createKey(L"Software\\Escaped\\Sub");
    ASSERT_EQ(setString(key, L"C:\\dir", L"C:\\temp"), ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"list", "HKCU\\Software\\Escaped\\Sub"}, &output), 0);
    EXPECT_EQ(output, "HKEY_CURRENT_USER\\Software\\Escaped\\Sub\n"
                      "    C:\\\\dir    REG_SZ    C:\\\\temp\n");
}

TEST_F(AdminToolTest, MultiStringHoldingTheTextBackslashZeroIsNotSplitThere) {
    const wchar_t strings[] = L"a\\0b\0c\0";
    std::vector<BYTE> data;
    for (wchar_t c : strings) {
        data.push_back(static_cast<BYTE>(c));
        data.push_back(0);
    }
    ASSERT_EQ(RegSetValueExW(createKey(L"Software\\Escaped"), L"m", 0, REG_MULTI_SZ, data.data(),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);

    std::string output;
    ASSERT_EQ(runTool({"read", "HKCU\\Software\\Escaped", "m"}, &output), 0);
    EXPECT_EQ(output, "a\\\\0b\\0c\n");
}

TEST_F(AdminToolTest, ReadOfAMissingValueSaysNoSuchValue) {
    createKey(L"Software\\Present");

    std::string output;
    std::string errors;
    EXPECT_EQ(runToolWithErrors({"read", "HKCU\\Software\\Present", "absent"}, output, errors), 1);
    EXPECT_EQ(errors, "krel-admin: HKCU\\Software\\Present absent: no such value (2)\n");
}

TEST_F(AdminToolTest, ReadBelowAMissingKeySaysNoSuchKey) {
    std::string output;
    std::string errors;
    EXPECT_EQ(runToolWithErrors({"read", "HKCU\\Software\\Absent", "v"}, output, errors), 1);
    EXPECT_EQ(errors, "krel-admin: HKCU\\Software\\Absent v: no such key (2)\n");
}

TEST_F(AdminToolTest, ListOfAMissingKeySaysNoSuchKeyAndPrintsNothing) {
    std::string output;
    std::string errors;
    EXPECT_EQ(runToolWithErrors({"list", "HKCU\\Software\\Absent"}, output, errors), 1);
    EXPECT_EQ(output, "");
    EXPECT_EQ(errors, "krel-admin: HKCU\\Software\\Absent: no such key (2)\n");
}

TEST_F(AdminToolTest, DeletionOfAMissingValueSaysNoSuchValue) {
    createKey(L"Software\\Present");

    std::string output;
    std::string errors;
    EXPECT_EQ(
        runToolWithErrors({"delete-value", "HKCU\\Software\\Present", "absent"}, output, errors),
        1);
    EXPECT_NE(errors.find(": no such value (2)"), std::string::npos) << errors;
}

TEST_F(AdminToolTest, DeletionOfAMissingKeySaysNoSuchKey) {
    std::string output;
    std::string errors;
    EXPECT_EQ(runToolWithErrors({"delete-key", "HKCU\\Software\\Absent"}, output, errors), 1);
    EXPECT_NE(errors.find(": no such key (2)"), std::string::npos) << errors;
}

TEST_F(AdminToolTest, ListingOfASubkeyNamedWithALineBreakStaysOnOneLine) {
    createKey(L"Software\\Parent\\a\nHKEY_LOCAL_MACHINE\x1B");

    std::string output;
    ASSERT_EQ(runTool({"list", "HKCU\\Software\\Parent"}, &output), 0);
    EXPECT_EQ(output, "HKEY_CURRENT_USER\\Software\\Parent\n"
                      "HKEY_CURRENT_USER\\Software\\Parent\\a\\nHKEY_LOCAL_MACHINE\\x1B\n");
}

TEST_F(AdminToolTest, TypeNamesAreMatchedInAnyCase) {
    ASSERT_EQ(runTool({"write", "HKCU\\Software\\Typed", "v", "reg_dword", "5"}), 0);

    std::string output;
    ASSERT_EQ(runTool({"list", "HKCU\\Software\\Typed"}, &output), 0);
    EXPECT_NE(output.find("    v    REG_DWORD    5\n"), std::string::npos) << output;
}

TEST_F(AdminToolTest, UnknownTypeIsReportedAsUnknown) {
    std::string output;
    std::string errors;
    EXPECT_EQ(runToolWithErrors({"write", "HKCU\\Software", "v", "REG_FOO", "x"}, output, errors),
              2);
    EXPECT_NE(errors.find("unknown type \"REG_FOO\""), std::string::npos) << errors;
    EXPECT_EQ(output, "");
}

TEST_F(AdminToolTest, DashHPrintsTheHelpAsHelpDoes) {
    std::string help;
    std::string dashH;
    ASSERT_EQ(runTool({"help"}, &help), 0);
    ASSERT_EQ(runTool({"-h"}, &dashH), 0);
    EXPECT_EQ(dashH, help);
    EXPECT_NE(help.find("usage: krel-admin"), std::string::npos);
}

TEST_F(AdminToolTest, HelpNamesTheRegistryDirectoryVariableAndTheDefaultHiveLocations) {
    std::string help;
    ASSERT_EQ(runTool({"help"}, &help), 0);
    EXPECT_NE(help.find("KREL_REGISTRY_DIR"), std::string::npos);
    EXPECT_NE(help.find("$XDG_CONFIG_HOME/krelstd/registry"), std::string::npos);
    EXPECT_NE(help.find("/var/lib/krelstd/registry"), std::string::npos);
}

TEST_F(AdminToolTest, UsageErrorsGoToStderr) {
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"list"}, {"read", "HKCR\\Software", "v"}}) {
        std::string output;
        std::string errors;
        EXPECT_EQ(runToolWithErrors(wrong, output, errors), 2);
        EXPECT_EQ(output, "");
        EXPECT_NE(errors.find("krel-admin"), std::string::npos) << errors;
    }
}

} // namespace
