#include "library/KrelLibrary.h"

#include <boost/shared_ptr.hpp>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "file/File.h"
#include "log/DebugFileFilter.h"
#include "log/LogTestSupport.h"
#include "platform/Utf16.h"
#include "platform/WinLibrary.h"
#include "support/LogProbeClasses.h"
#include "support/RecordingLogTest.h"
#include "support/TempDirectory.h"
#include "system/KrelSystem.h"

using krel_platform::utf8ToWide;
using krel_std::File;
using krel_std::KrelIllegalArgumentException;
using krel_std::KrelLibrary;
using krel_std::KrelSystem;
using krel_std::KrelUnknownException;

namespace {

const std::wstring MODULE_NAME = L"krel_test_module";

// Each test searches with its own property and LIB, and finds the static log as the load hook
// leaves it.
class KrelLibraryTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        krel_std_internal::StaticLogTestHook::reset();
        const char* lib = std::getenv("LIB");
        savedLib = lib != nullptr ? lib : "";
        hadLib = lib != nullptr;
        unsetenv("LIB");
        setSearchProperty(L"");
    }

    void TearDown() override {
        setSearchProperty(L"");
        if (hadLib) {
            setenv("LIB", savedLib.c_str(), 1);
        }
        krel_std_internal::StaticLogTestHook::reset();
        TempDirectoryTest::TearDown();
    }

    static void setSearchProperty(const std::wstring& value) {
        KrelSystem::getInstance().setProperty(L"Ext_Library_Path", value);
    }

    static std::wstring helpers() { return utf8ToWide(krel_test::helpersDirectory()); }

    // A file under the temporary directory that has a library's name but is no library.
    std::wstring writeBrokenLibrary(const std::string& name) {
        writeBytes(name + ".so", "not a shared object at all");
        return path();
    }

    template <typename E, typename Call> static std::unique_ptr<E> failureOf(Call call) {
        try {
            call();
        } catch (const E& e) {
            return std::unique_ptr<E>(new E(e));
        }
        return nullptr;
    }

    std::string savedLib;
    bool hadLib = false;
};

TEST_F(KrelLibraryTest, NameIsFoundAlongTheSystemPropertyWithSuffixAppended) {
    setSearchProperty(L"/no/such/dir::;" + helpers() + L";");
    KrelLibrary library(MODULE_NAME);
    EXPECT_EQ(helpers() + L"/krel_test_module.so", library.getPath());
    EXPECT_EQ(L"KrelLibrary{path='" + library.getPath() + L"'}", library.toString());
}

TEST_F(KrelLibraryTest, ExportedSymbolIsCallableAndAMissingOneIsRefused) {
    setSearchProperty(helpers());
    KrelLibrary library(MODULE_NAME);
    const auto answer = library.getSymbol<int (*)()>(L"krelTestModuleAnswer");
    EXPECT_EQ(42, answer());
    const auto failure = failureOf<KrelIllegalArgumentException>(
        [&library] { library.getSymbol<void (*)()>(L"noSuchSymbol"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"Symbol not found <noSuchSymbol>", failure->getMessage());
}

TEST_F(KrelLibraryTest, NameFoundNowhereIsIllegalArgumentWithoutTheSuffix) {
    const auto failure =
        failureOf<KrelIllegalArgumentException>([] { KrelLibrary library(L"krel_absent"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"Unable to locate library <krel_absent>", failure->getMessage());
}

TEST_F(KrelLibraryTest, UnloadableCandidateOfThePropertyFailsAtOnce) {
    const std::wstring directory = writeBrokenLibrary("broken");
    setSearchProperty(directory);
    const auto failure = failureOf<KrelUnknownException>([] { KrelLibrary library(L"broken"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(
        0u, failure->getMessage().find(L"Unable to open library <" + directory + L"/broken.so>: "))
        << failure->getMessage();
    EXPECT_EQ(ERROR_BAD_EXE_FORMAT, failure->getErrNum());
}

TEST_F(KrelLibraryTest, UnloadableCandidateOfLibBecomesTheCauseOfTheFinalFailure) {
    setenv("LIB", native("").string().c_str(), 1);
    writeBrokenLibrary("broken");
    const auto failure = failureOf<KrelUnknownException>([] { KrelLibrary library(L"broken"); });
    ASSERT_NE(nullptr, failure);
    const std::unique_ptr<krel_std::KrelException> cause(failure->getNestedException());
    ASSERT_NE(nullptr, cause);
    EXPECT_EQ(0u, cause->getMessage().find(L"Unable to open library <"));
    EXPECT_EQ(0u, failure->getMessage().find(L"Unable to locate library <broken>: "));
}

TEST_F(KrelLibraryTest, LaterDirectoryLoadsAfterAnUnloadableOne) {
    const std::wstring directory = writeBrokenLibrary("krel_test_module");
    setSearchProperty(directory + L";" + helpers());
    KrelLibrary library(MODULE_NAME);
    EXPECT_EQ(helpers() + L"/krel_test_module.so", library.getPath());
}

TEST_F(KrelLibraryTest, FileIsLoadedExactlyAndAMissingOneIsRefused) {
    KrelLibrary library(File(helpers() + L"/krel_test_module.so"));
    EXPECT_EQ(helpers() + L"/krel_test_module.so", library.getPath());

    const File missing(path("absent.so"));
    const auto failure =
        failureOf<KrelIllegalArgumentException>([&missing] { KrelLibrary absent(missing); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"Library file does not exist <" + missing.toString() + L">", failure->getMessage());
}

TEST_F(KrelLibraryTest, LoadAndUnloadAreLogged) {
    const krel_test::RecordingLog log;
    setSearchProperty(helpers());
    std::wstring loadedPath;
    {
        KrelLibrary library(MODULE_NAME);
        loadedPath = library.getPath();
    }
    ASSERT_EQ(2u, log.appender->events.size());
    EXPECT_EQ(L"Loaded shared library <" + loadedPath + L">.", log.appender->events[0].message);
    EXPECT_EQ(L"Unloaded shared library <" + loadedPath + L">.", log.appender->events[1].message);
}

} // namespace
