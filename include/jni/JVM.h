// JVM, the process's one handle to a Java VM; JVMVersion and JVMInfo describe runtimes.
#pragma once

#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <jni.h>
#include <string>
#include <vector>

namespace krel_std {

class File;
class KrelLibrary;
class Lock;

// The process's one handle to a Java VM: either created here from an installed Java runtime
// (loadJVM) or handed in by the VM that loaded the library (setJVM, from JNI_OnLoad). Every part
// of the bridge asks it for the calling thread's JNIEnv. The handle, once made, is never cleared,
// and nothing here destroys the VM.
class JVM : private boost::noncopyable {
public:
    // The JNI version asked of the VM everywhere: 1.4.
    static const int32_t USE_JNI_VERSION = 0x10004;

    // A Java version "major.minor.micro[_update][-qualifier]"; all zero and no qualifier by
    // default. Ordered part by part (major first, the first unequal part deciding), the
    // qualifiers last as texts in the order of their UTF-16 units, so "1.6.0_10-rc" is above
    // "1.6.0_10".
    class JVMVersion {
    public:
        JVMVersion();
        bool operator<(const JVMVersion& other) const;

        int32_t major;
        int32_t minor;
        int32_t micro;
        int32_t update;
        std::wstring qualifier;
    };

    // One installed runtime: its version text, Java home directory and runtime library path.
    class JVMInfo {
    public:
        std::wstring version;
        std::wstring javaHome;
        std::wstring runtimeLib;
    };

    // Detaches the calling thread from the VM when the last copy of an environment that getEnv
    // attached goes.
    class JNIEnvDetachDeleter {
    public:
        void operator()(JNIEnv* env) const;
    };

    // Releases the runtime library; the VM stays.
    virtual ~JVM();

    // The handle, or empty when no VM was created or handed in.
    static boost::shared_ptr<JVM> getInstance();

    // The VM; null for a handle whose creation failed.
    JavaVM* getJVM() const;

    // Adopts the VM that loaded the library: true when it became the handle's VM, false when
    // the handle already had one (the first VM stays).
    static bool setJVM(JavaVM* vm);

    // The calling thread's environment. A thread that was not attached is attached for the life
    // of the returned pointer (the last copy detaches it). Empty when the handle has no VM, the
    // attach fails or the VM does not answer the version asked.
    boost::shared_ptr<JNIEnv> getEnv() const;

    // Reads a version text; pieces that are missing or not numbers read as 0.
    static JVMVersion getJVMVersion(const std::wstring& version);

    // Finds the installed runtime that best matches `version`, loads it and creates the VM with
    // the options. Throws KrelIllegalArgumentException "Instance value is not NULL." when a
    // handle exists already (also after a failed creation), "No version found!" when no runtime
    // is installed and "Couldn't find valid version, desired: <...> Best Match: <...>." when the
    // best is below the wanted version; and what the other loadJVM throws.
    static boost::shared_ptr<JVM> loadJVM(const std::wstring& version,
                                          const std::vector<std::wstring>& options);

    // Loads the runtime library and creates the VM with the options (UTF-8, unrecognised ones
    // ignored). Throws KrelIllegalArgumentException "Invalid file parameter." for a file that is
    // not a readable file, "Instance value is not NULL." as above, KrelIOException "Unable to
    // load JVM." (library) or "Unable to load JVM" (symbol) with the cause, and "Unable to create
    // Java Virtual Machine." with the VM's error code as error number.
    static boost::shared_ptr<JVM> loadJVM(const File& runtimeLib,
                                          const std::vector<std::wstring>& options);

private:
    JVM();

    // The runtimes listed under the system preferences' "SOFTWARE\JavaSoft\Java Runtime
    // Environment"; without that node, the ones found on this machine.
    static std::vector<JVMInfo> getInstalledJVMs();
    static JVMInfo getBestMatchedJVM(const std::wstring& desired);

    // The handle and the lock that guards it and the VM field; both made on first use and never
    // destroyed.
    static boost::shared_ptr<JVM>& instance();
    static Lock& lock();

    boost::shared_ptr<KrelLibrary> runtimeLibrary;
    std::atomic<JavaVM*> jvm;
    JNIEnv* env;
};

} // namespace krel_std
