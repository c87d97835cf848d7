// Loading a Java VM where none can be made, and the bridge before any VM exists. No test here
// creates a VM: the process has none throughout.
#include <gtest/gtest.h>

#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelJNIException.h"
#include "file/File.h"
#include "jni/JNIExceptionLogger.h"
#include "jni/JNIReference.h"
#include "jni/JVM.h"
#include "platform/JavaRuntimeSearchHook.h"
#include "prefs/Preferences.h"
#include "support/TempDirectory.h"
#include "system/KrelRegistry.h"

namespace {

using krel_std::JVM;
using krel_std::KrelIllegalArgumentException;

const wchar_t* const JAVA_SOFT_KEY = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";

// Each test starts without the JavaSoft key of the machine hive, and scans for installed
// runtimes only below its own temporary directory.
class JVMLoadTest : public TempDirectoryTest {
protected:
    void SetUp() override {
        TempDirectoryTest::SetUp();
        removeJavaSoftKey();
        krel_platform::JavaRuntimeSearchHook::setDirectories({native("jvm").string()});
    }

    void TearDown() override {
        krel_platform::JavaRuntimeSearchHook::reset();
        removeJavaSoftKey();
        TempDirectoryTest::TearDown();
    }

    // Removed through the preferences, so that their tree forgets the nodes it has read.
    static void removeJavaSoftKey() {
        const boost::shared_ptr<krel_std::Preferences> root = krel_std::Preferences::systemRoot();
        if (root->nodeExists(L"SOFTWARE\\JavaSoft")) {
            root->node(L"SOFTWARE\\JavaSoft")->removeNode();
        }
    }

    // Lists a runtime under the JavaSoft key, as an installer does.
    static void registerRuntime(const std::wstring& version, const std::wstring& home) {
        krel_std::KrelRegistry registry;
        bool existed = false;
        registry.createKey(existed, HKEY_LOCAL_MACHINE,
                           std::wstring(JAVA_SOFT_KEY) + L"\\" + version, KEY_ALL_ACCESS, 0);
        registry.setStrValue(L"JavaHome", home);
        registry.setStrValue(L"RuntimeLib", home + L"\\bin\\client\\jvm.dll");
    }

    static void createEmptyJavaSoftKey() {
        krel_std::KrelRegistry registry;
        bool existed = false;
        registry.createKey(existed, HKEY_LOCAL_MACHINE, JAVA_SOFT_KEY, KEY_ALL_ACCESS, 0);
    }

    // A runtime home below the scanned directory.
    void installRuntime(const std::string& name, const std::string& version) {
        writeBytes("jvm/" + name + "/release", "JAVA_VERSION=\"" + version + "\"\n");
        writeBytes("jvm/" + name + "/lib/server/libjvm.so", "not a library");
    }

    // The message with which loading the version is refused.
    static std::wstring refusal(const std::wstring& version) {
        try {
            JVM::loadJVM(version, {});
        } catch (const KrelIllegalArgumentException& e) {
            return e.getMessage();
        }
        return L"(loaded)";
    }
};

TEST_F(JVMLoadTest, ListedRuntimesBelowTheWantedVersionAreRefused) {
    registerRuntime(L"1.5.0_22", L"C:\\Java\\jre1.5.0_22");
    EXPECT_EQ(refusal(L"1.6"),
              L"Couldn't find valid version, desired: <1.6> Best Match: <1.5.0_22>.");
    EXPECT_FALSE(JVM::getInstance());
}

TEST_F(JVMLoadTest, AnEmptyJavaSoftKeyFindsNoVersionWithoutScanning) {
    createEmptyJavaSoftKey();
    installRuntime("jdk", "17.0.15");
    EXPECT_EQ(refusal(L"17"), L"No version found!");
    EXPECT_FALSE(JVM::getInstance());
}

TEST_F(JVMLoadTest, WithoutAJavaSoftKeyTheInstalledRuntimesAreScanned) {
    installRuntime("jdk", "1.5.0");
    EXPECT_EQ(refusal(L"17"), L"Couldn't find valid version, desired: <17> Best Match: <1.5.0>.");
}

TEST_F(JVMLoadTest, NoListedAndNoInstalledRuntimeFindsNoVersion) {
    EXPECT_EQ(refusal(L"17"), L"No version found!");
}

TEST_F(JVMLoadTest, AMissingRuntimeLibraryIsAnInvalidFileAndMakesNoHandle) {
    try {
        JVM::loadJVM(krel_std::File(path("missing/libjvm.so")), {L"-Xcheck:jni"});
        FAIL() << "loaded a missing file";
    } catch (const KrelIllegalArgumentException& e) {
        EXPECT_EQ(e.getMessage(), L"Invalid file parameter.");
    }
    EXPECT_FALSE(JVM::getInstance());
}

TEST_F(JVMLoadTest, ADirectoryIsAnInvalidFile) {
    EXPECT_THROW(JVM::loadJVM(krel_std::File(path()), {}), KrelIllegalArgumentException);
    EXPECT_FALSE(JVM::getInstance());
}

TEST(JNIBridgeWithoutVMTest, ThrowIfPresentReturnsQuietly) {
    EXPECT_NO_THROW(krel_std::KrelJNIException::throwIfPresent());
}

TEST(JNIBridgeWithoutVMTest, TheLoggerAnswersTheEmptyText) {
    EXPECT_EQ(krel_std::JNIExceptionLogger::getMessage(nullptr), L"");
    EXPECT_NO_THROW(krel_std::JNIExceptionLogger::logDebug(L"test", nullptr));
}

TEST(JNIBridgeWithoutVMTest, ANullThrowableMakesAnEmptyException) {
    const krel_std::KrelJNIException exception(static_cast<jthrowable>(nullptr));
    EXPECT_EQ(exception.getMessage(), L"");
    EXPECT_EQ(exception.getStackTraceString(), L"");
    EXPECT_EQ(exception.getClassName(), L"com.vandrel.exception.KrelJNIException");
}

TEST(JNIBridgeWithoutVMTest, AReferenceIsLetGoWithoutDeletingAnything) {
    krel_std::JNIReference<jobject> reference(reinterpret_cast<jobject>(0x1234));
    EXPECT_TRUE(reference.isValid());
    reference.release();
    EXPECT_FALSE(reference.isValid());
    EXPECT_EQ(reference.getKind(), krel_std::JNIReference<jobject>::LOCAL);
}

} // namespace
