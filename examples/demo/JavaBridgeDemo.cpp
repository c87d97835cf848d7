#include "JavaBridgeDemo.h"

#include <cstdint>
#include <iostream>
#include <jni.h>
#include <string>
#include <vector>

#include "exception/KrelException.h"
#include "exception/KrelJNIException.h"
#include "jni/JNIReference.h"
#include "jni/JNIUtils.h"
#include "jni/JVM.h"
#include "platform/Utf16.h"
#include "system/KrelRegistry.h"

using namespace krel_std;

namespace {

// The key the Java side monitors, below HKEY_CURRENT_USER.
const wchar_t* const monitoredKey = L"Software\\KrelStd\\Demo\\Bridge";
// HKEY_CURRENT_USER as the registry natives name roots: the handle's value as a Java int.
const jint userRoot = static_cast<jint>(reinterpret_cast<intptr_t>(HKEY_CURRENT_USER));
// The changes the demo makes while the key is monitored, one callback each.
const jint expectedCallbacks = 3;
// Every wait of the bridge ends after this many milliseconds.
const jlong waitMillis = 5000;

// Raises the Java exception pending on the calling thread as a KrelJNIException (clearing it),
// and a null answer as one that names the call; answers the checked value.
template <typename T> T checked(T answer, const std::wstring& call) {
    KrelJNIException::throwIfPresent();
    if (answer == nullptr) {
        throw KrelJNIException(call + L" answered null.");
    }
    return answer;
}

JNIReference<jstring> javaString(JNIEnv* env, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    return JNIReference<jstring>(
        checked(env->NewString(reinterpret_cast<const jchar*>(units.data()),
                               static_cast<jsize>(units.size())),
                L"NewString"));
}

// A Java system property of the VM, read through System.getProperty.
std::wstring javaProperty(JNIEnv* env, const std::wstring& name) {
    const JNIReference<jclass> system(checked(env->FindClass("java/lang/System"), L"FindClass"));
    const jmethodID getProperty =
        checked(env->GetStaticMethodID(system.get(), "getProperty",
                                       "(Ljava/lang/String;)Ljava/lang/String;"),
                L"GetStaticMethodID(getProperty)");
    const JNIReference<jstring> key = javaString(env, name);
    const jobject value = env->CallStaticObjectMethod(system.get(), getProperty, key.get());
    return getJniString(env, static_cast<jstring>(checked(value, L"System.getProperty")));
}

// Starts the VM that best matches Java 17 among the runtimes found on this machine, with the
// library's jar and the demo's own classes on its class path and the library's directory as
// the place of its natives.
boost::shared_ptr<JVM> startJavaVM() {
    const std::wstring classPath =
        krel_platform::utf8ToWide(KREL_JAR) + L":" + krel_platform::utf8ToWide(KREL_DEMO_JAR);
    return JVM::loadJVM(
        L"17", {L"-Djava.class.path=" + classPath,
                L"-Djava.library.path=" + krel_platform::utf8ToWide(KREL_LIBRARY_DIRECTORY),
                L"--enable-native-access=ALL-UNNAMED"});
}

// The demo's Java class DemoMonitor, called through its static methods on the thread that
// made the object.
class JavaMonitor {
public:
    explicit JavaMonitor(JNIEnv* env)
        : env(env),
          monitorClass(checked(env->FindClass("DemoMonitor"), L"FindClass(DemoMonitor)")) {}

    // Monitors the key and starts the Java thread that takes its changes.
    void start(jint root, const std::wstring& key) {
        const JNIReference<jstring> keyText = javaString(env, key);
        env->CallStaticVoidMethod(monitorClass.get(), method("start", "(ILjava/lang/String;)V"),
                                  root, keyText.get());
        KrelJNIException::throwIfPresent();
    }

    // The texts of the changes the Java thread took, once there are `count` or the wait ended.
    std::vector<std::wstring> awaitCallbacks(jint count) {
        const JNIReference<jobjectArray> texts(static_cast<jobjectArray>(
            checked(env->CallStaticObjectMethod(monitorClass.get(),
                                                method("awaitCallbacks", "(IJ)[Ljava/lang/String;"),
                                                count, waitMillis),
                    L"DemoMonitor.awaitCallbacks")));
        std::vector<std::wstring> callbacks;
        const jsize length = env->GetArrayLength(texts.get());
        for (jsize index = 0; index < length; ++index) {
            const jobject text = env->GetObjectArrayElement(texts.get(), index);
            callbacks.push_back(
                getJniString(env, static_cast<jstring>(checked(text, L"GetObjectArrayElement"))));
        }
        return callbacks;
    }

    // Ends the monitoring, terminates the callback queue and answers whether the Java thread
    // ended within the wait.
    bool stop(jint root, const std::wstring& key) {
        const JNIReference<jstring> keyText = javaString(env, key);
        const jboolean ended = env->CallStaticBooleanMethod(
            monitorClass.get(), method("stop", "(ILjava/lang/String;J)Z"), root, keyText.get(),
            waitMillis);
        KrelJNIException::throwIfPresent();
        return ended == JNI_TRUE;
    }

private:
    jmethodID method(const char* name, const char* signature) {
        return checked(env->GetStaticMethodID(monitorClass.get(), name, signature),
                       L"GetStaticMethodID(" + krel_platform::utf8ToWide(name) + L")");
    }

    JNIEnv* const env;
    const JNIReference<jclass> monitorClass;
};

// Gives the key its starting values, before it is monitored.
void prepareKey(KrelRegistry& registry) {
    bool existed = false;
    registry.createKey(existed, HKEY_CURRENT_USER, monitoredKey, KEY_ALL_ACCESS, 0);
    registry.setStrValue(L"Colour", L"blue");
    registry.setIntValue(L"Size", 1);
    registry.setStrValue(L"Obsolete", L"to be deleted");
}

// Changes two values and deletes one while Java listens, and prints what Java took.
void changeWhileMonitored(KrelRegistry& registry, JavaMonitor& monitor) {
    try {
        std::wcout << L"  the demo sets Colour to 'green' and Size to 2, and deletes Obsolete\n";
        registry.setStrValue(L"Colour", L"green");
        registry.setIntValue(L"Size", 2);
        registry.deleteValue(L"Obsolete");
        const std::vector<std::wstring> callbacks = monitor.awaitCallbacks(expectedCallbacks);
        for (const std::wstring& callback : callbacks) {
            std::wcout << L"  " << callback << L"\n";
        }
        if (callbacks.size() < static_cast<size_t>(expectedCallbacks)) {
            std::wcout << L"  only " << callbacks.size() << L" of " << expectedCallbacks
                       << L" changes arrived\n";
        }
    } catch (const KrelException& e) {
        std::wcout << L"  the change failed: " << e.toString() << L"\n";
    }
}

} // namespace

void showJavaBridge() {
    std::wcout << L"The bridge to Java: the demo starts a Java VM found on this machine, and a\n"
                  L"class of its own monitors a registry key and takes its changes on a Java\n"
                  L"thread while the demo changes the key:\n"
               << std::flush;
    try {
        const boost::shared_ptr<JVM> jvm = startJavaVM();
        const boost::shared_ptr<JNIEnv> env = jvm->getEnv();
        if (!env) {
            throw KrelJNIException(L"The Java VM gave no environment.");
        }
        std::wcout << L"  Java " << javaProperty(env.get(), L"java.version") << L" ("
                   << javaProperty(env.get(), L"java.vm.name") << L") from "
                   << javaProperty(env.get(), L"java.home") << L"\n";
        KrelRegistry registry;
        prepareKey(registry);
        JavaMonitor monitor(env.get());
        monitor.start(userRoot, monitoredKey);
        std::wcout << L"  Java monitors HKEY_CURRENT_USER\\" << monitoredKey << L"\n";
        changeWhileMonitored(registry, monitor);
        const bool ended = monitor.stop(userRoot, monitoredKey);
        std::wcout << L"  callback queue terminated, the Java thread "
                   << (ended ? L"ended" : L"is still running") << L"\n";
    } catch (const KrelException& e) {
        std::wcout << L"  the bridge failed: " << e.toString() << L"\n";
    }
}
