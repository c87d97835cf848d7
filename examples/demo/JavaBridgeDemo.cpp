#include "JavaBridgeDemo.h"

#include <iostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <jni.h>

#include "exception/KrelException.h"
#include "jni/JVM.h"
#include "platform/Utf16.h"
#include "platform/WinReg.h"
#include "system/KrelRegistry.h"

using namespace krel_std;

namespace {

const wchar_t* const DEMO_KEY = L"Software\\KrelStd\\DemoJava";
const long WAIT_MS = 5000;

// Text of a Java string (a local reference, deleted here).
std::wstring javaText(JNIEnv* env, jstring text) {
    if (text == nullptr) {
        return std::wstring();
    }
    const jchar* units = env->GetStringChars(text, nullptr);
    const std::u16string copy(reinterpret_cast<const char16_t*>(units),
                              static_cast<std::size_t>(env->GetStringLength(text)));
    env->ReleaseStringChars(text, units);
    env->DeleteLocalRef(text);
    return krel_platform::utf16ToWide(copy);
}

jstring javaString(JNIEnv* env, const std::wstring& text) {
    const std::u16string units = krel_platform::wideToUtf16(text);
    return env->NewString(reinterpret_cast<const jchar*>(units.data()),
                          static_cast<jsize>(units.size()));
}

// Prints and clears what Java threw; answers whether something was thrown.
bool javaFailed(JNIEnv* env, const wchar_t* what) {
    if (!env->ExceptionCheck()) {
        return false;
    }
    std::wcout << L"  " << what << L" failed in Java:" << std::endl;
    env->ExceptionDescribe();
    return true;
}

// The demo's changes, made through the registry wrapper as any native program would. Each value
// changes once, so no change can hide another.
void changeValues() {
    KrelRegistry registry;
    registry.openKey(HKEY_CURRENT_USER, DEMO_KEY, KEY_WRITE);
    registry.setStrValue(L"Colour", L"blue");
    registry.setStrValue(L"Shape", L"circle");
    registry.deleteValue(L"Size");
}

void runMonitor(JNIEnv* env, jclass monitor) {
    const jmethodID version =
        env->GetStaticMethodID(monitor, "javaVersion", "()Ljava/lang/String;");
    const jmethodID start = env->GetStaticMethodID(monitor, "start", "(Ljava/lang/String;)V");
    const jmethodID await = env->GetStaticMethodID(monitor, "awaitThreeChanges", "(J)Z");
    const jmethodID terminate =
        env->GetStaticMethodID(monitor, "terminate", "(Ljava/lang/String;J)Z");
    if (javaFailed(env, L"Finding the demo's methods")) {
        return;
    }
    const std::wstring used =
        javaText(env, static_cast<jstring>(env->CallStaticObjectMethod(monitor, version)));
    std::wcout << L"  the Java VM in this process: " << used << L"\n"
               << L"  a Java thread monitors HKEY_CURRENT_USER\\" << DEMO_KEY << std::endl;
    const jstring key = javaString(env, DEMO_KEY);
    env->CallStaticVoidMethod(monitor, start, key);
    if (javaFailed(env, L"Starting the monitor")) {
        return;
    }
    std::wcout << L"  the demo sets Colour and Shape and deletes Size:" << std::endl;
    changeValues();
    if (!env->CallStaticBooleanMethod(monitor, await, static_cast<jlong>(WAIT_MS))) {
        std::wcout << L"  the three changes did not all arrive" << std::endl;
    }
    std::wcout << L"  the demo terminates the callback queue" << std::endl;
    const bool ended =
        env->CallStaticBooleanMethod(monitor, terminate, key, static_cast<jlong>(WAIT_MS));
    if (!javaFailed(env, L"Terminating") && !ended) {
        std::wcout << L"  the Java thread did not end" << std::endl;
    }
    env->DeleteLocalRef(key);
}

} // namespace

void showJavaBridge() {
    std::wcout << L"The Java bridge: a Java VM found on this machine starts inside the demo, and\n"
                  L"registry changes reach a Java thread that pulls them from the library:\n"
               << std::flush;
    try {
        bool existed = false;
        KrelRegistry registry;
        // A fresh key with one value, whatever an earlier run left.
        registry.createKey(existed, HKEY_CURRENT_USER, DEMO_KEY, KEY_ALL_ACCESS, 0);
        registry.deleteKey(HKEY_CURRENT_USER, DEMO_KEY);
        registry.createKey(existed, HKEY_CURRENT_USER, DEMO_KEY, KEY_ALL_ACCESS, 0);
        registry.setStrValue(L"Size", L"large");
        const std::vector<std::wstring> options{L"-Djava.class.path=" KREL_DEMO_CLASS_PATH,
                                                L"-Djava.library.path=" KREL_LIBRARY_DIR};
        const boost::shared_ptr<JVM> jvm = JVM::loadJVM(L"17", options);
        const boost::shared_ptr<JNIEnv> env = jvm->getEnv();
        if (!env) {
            std::wcout << L"  the Java VM gave no environment" << std::endl;
            return;
        }
        const jclass monitor = env->FindClass("KrelDemoMonitor");
        if (javaFailed(env.get(), L"Loading the demo's Java class")) {
            return;
        }
        runMonitor(env.get(), monitor);
        env->DeleteLocalRef(monitor);
    } catch (const KrelException& error) {
        std::wcout << L"  " << error.toString() << std::endl;
    }
}
