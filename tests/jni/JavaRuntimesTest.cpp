// Finding the Java runtimes installed below chosen directories.
#include "platform/JavaRuntimes.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/JavaRuntimeSearchHook.h"
#include "support/TempDirectory.h"

namespace {

using krel_platform::JavaRuntime;

class JavaRuntimesTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        krel_platform::JavaRuntimeSearchHook::setDirectories({native("jvm").string()});
    }

    void TearDown() override {
        krel_platform::JavaRuntimeSearchHook::reset();
        TempDirectoryTest::TearDown();
    }

    // A complete runtime home below jvm/: a release file naming the version and a VM library.
    void installRuntime(const std::string& name, const std::string& version) {
        writeBytes("jvm/" + name + "/release",
                   "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"" + version + "\"\nOS_NAME=\"Linux\"\n");
        writeBytes("jvm/" + name + "/lib/server/libjvm.so", "not a library");
    }

    std::wstring home(const std::string& name) const {
        return krel_platform::utf8ToWide(
            std::filesystem::canonical(native("jvm/" + name)).string());
    }

    static std::vector<std::wstring> versions(const std::vector<JavaRuntime>& runtimes) {
        std::vector<std::wstring> texts;
        for (const JavaRuntime& runtime : runtimes) {
            texts.push_back(runtime.version);
        }
        return texts;
    }
};

TEST_F(JavaRuntimesTest, ACompleteHomeIsListedWithItsVersionHomeAndLibrary) {
    installRuntime("jdk-17", "17.0.15");
    const std::vector<JavaRuntime> runtimes = krel_platform::findInstalledJavaRuntimes();
    ASSERT_EQ(runtimes.size(), 1u);
    EXPECT_EQ(runtimes[0].version, L"17.0.15");
    EXPECT_EQ(runtimes[0].javaHome, home("jdk-17"));
    EXPECT_EQ(runtimes[0].runtimeLib, home("jdk-17") + L"/lib/server/libjvm.so");
}

TEST_F(JavaRuntimesTest, RuntimesAreSortedByVersionText) {
    installRuntime("c", "25.0.3");
    installRuntime("a", "17.0.15");
    installRuntime("b", "1.8.0_402");
    EXPECT_EQ(versions(krel_platform::findInstalledJavaRuntimes()),
              (std::vector<std::wstring>{L"1.8.0_402", L"17.0.15", L"25.0.3"}));
}

TEST_F(JavaRuntimesTest, AHomeReachedTwiceIsListedOnce) {
    installRuntime("java-17", "17.0.15");
    std::filesystem::create_directory_symlink(native("jvm/java-17"), native("jvm/java-1.17"));
    const std::vector<JavaRuntime> runtimes = krel_platform::findInstalledJavaRuntimes();
    ASSERT_EQ(runtimes.size(), 1u);
    EXPECT_EQ(runtimes[0].javaHome, home("java-17"));
}

TEST_F(JavaRuntimesTest, IncompleteHomesAreSkipped) {
    installRuntime("complete", "17.0.15");
    writeBytes("jvm/no-library/release", "JAVA_VERSION=\"11.0.2\"\n");
    writeBytes("jvm/no-release/lib/server/libjvm.so", "x");
    writeBytes("jvm/no-version/release", "IMPLEMENTOR=\"Test\"\n");
    writeBytes("jvm/no-version/lib/server/libjvm.so", "x");
    writeBytes("jvm/a-file", "x");
    std::filesystem::create_directory_symlink(native("jvm/gone"), native("jvm/dangling"));
    EXPECT_EQ(versions(krel_platform::findInstalledJavaRuntimes()),
              (std::vector<std::wstring>{L"17.0.15"}));
}

TEST_F(JavaRuntimesTest, AnEmptyOrMissingDirectoryListsNothing) {
    EXPECT_TRUE(krel_platform::findInstalledJavaRuntimes().empty());
    krel_platform::JavaRuntimeSearchHook::setDirectories({});
    EXPECT_TRUE(krel_platform::findInstalledJavaRuntimes().empty());
}

} // namespace
