// A user's hive made at its default place, below the user's configuration directory, is the
// user's alone whatever the umask: its directories for the owner only, its files (the
// database, SQLite's journal, the lock file and the doorbell) readable by the owner only.
#include <filesystem>
#include <sys/stat.h>

#include "RegistryTestSupport.h"
#include "support/ChildWithLimit.h"

namespace {

class UserHivePrivacyTest : public RegistryTest {
protected:
    static mode_t modeOf(const std::filesystem::path& path) {
        struct stat status {};
        return lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

    // Writes a value of the user's hive in a child whose umask is 0 and whose hive is at its
    // default place below configuration: the child's exit code, 0 when the write succeeded.
    static int writeUnderNoUmask(const std::filesystem::path& configuration) {
        return krel_test::runInChild(
            [&] {
                umask(0);
                unsetenv("KREL_REGISTRY_DIR");
                return setenv("XDG_CONFIG_HOME", configuration.c_str(), 1) == 0;
            },
            97,
            [] {
                krel_platform::reopenRegistryStore();
                HKEY key = nullptr;
                if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Private\\Key", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                    return 1;
                }
                const LSTATUS status = setNumber(key, L"n", 7);
                RegCloseKey(key);
                return status == ERROR_SUCCESS ? 0 : 2;
            });
    }
};

TEST_F(UserHivePrivacyTest, NewHiveDirectoriesAreTheOwnersAloneUnderNoUmask) {
    const std::filesystem::path configuration = root / "config";
    ASSERT_EQ(writeUnderNoUmask(configuration), 0);

    EXPECT_EQ(modeOf(configuration), 0700u);
    EXPECT_EQ(modeOf(configuration / "krelstd"), 0700u);
    EXPECT_EQ(modeOf(configuration / "krelstd" / "registry"), 0700u);
}

TEST_F(UserHivePrivacyTest, NewHiveFilesAreTheOwnersAloneUnderNoUmask) {
    const std::filesystem::path configuration = root / "config";
    ASSERT_EQ(writeUnderNoUmask(configuration), 0);

    const std::filesystem::path directory = configuration / "krelstd" / "registry";
    for (const char* name : {"user.db", "user.db-journal", "user.lock", "user.doorbell"}) {
        EXPECT_EQ(modeOf(directory / name), 0600u) << name;
    }
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        EXPECT_EQ(modeOf(entry.path()), 0600u) << entry.path();
    }
}

// A hive whose directory others may enter, as an earlier build made it, still opens and
// keeps its keys.
TEST_F(UserHivePrivacyTest, ExistingWiderHiveDirectoryKeepsWorking) {
    const std::filesystem::path configuration = root / "config";
    const std::filesystem::path directory = configuration / "krelstd" / "registry";
    std::filesystem::create_directories(directory);
    for (const auto& wide : {configuration, configuration / "krelstd", directory}) {
        std::filesystem::permissions(wide, std::filesystem::perms(0755));
    }
    ASSERT_EQ(writeUnderNoUmask(configuration), 0);
    EXPECT_EQ(modeOf(directory), 0755u) << "left as its owner made it";

    setenv("KREL_REGISTRY_DIR", directory.c_str(), 1);
    krel_platform::reopenRegistryStore();
    HKEY key = nullptr;
    ASSERT_EQ(openKey(L"Private\\Key", key), ERROR_SUCCESS);
    DWORD number = 0;
    DWORD size = sizeof number;
    EXPECT_EQ(
        RegQueryValueExW(key, L"n", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(number, 7u);
}

} // namespace
