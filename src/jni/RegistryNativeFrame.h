// The frame that every registry native of RegistryPreferencesJni runs in (the value and key
// natives, and the natives that start and stop the monitoring of a key):
//
//   1. the export's trace scope, around everything;
//   2. the string arguments converted; an empty parent key raises IllegalArgumentException
//      "Parent key is empty.", then an empty key "Key is empty." (a null string is empty); a
//      string holding U+0000, which would end the text the registry sees, raises
//      IllegalArgumentException "Parent key holds a NUL character.", "Key holds a NUL
//      character." or "Value holds a NUL character.";
//   3. the argument trace at CALL;
//   4. the registry work in the guarded block, whose exceptions become Java exceptions by one
//      fixed table (see guarded);
//   5. on every error path the native's error result, made before the Java exception is
//      raised (JNI makes no object while an exception is pending).
//
// No C++ exception leaves the frame: one escaping into the VM would end the Java process. A
// failure outside the guarded block (a trace or a conversion that throws) raises
// RuntimeException "Unknown error encountered." too. Machine faults are not translated here:
// natives run on the VM's threads, whose SIGSEGV belongs to the VM.
#pragma once

#include <jni.h>
#include <string>
#include <vector>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelRuntimeException.h"
#include "exception/KrelUnknownException.h"
#include "jni/JavaStrings.h"
#include "platform/WinTypes.h"

// Where a native is: its export name as the trace's function, and its source file.
#define KREL_NATIVE_SITE(exportName)                                                               \
    ::krel_std_internal::NativeSite {                                                              \
        exportName, KREL_SOURCE_FILE                                                               \
    }

namespace krel_std_internal {

struct NativeSite {
    const wchar_t* function;
    const wchar_t* file;
};

// The Java exception classes of the mapping, in the order of its handlers.
enum class JavaExceptionKind { IllegalArgument, IllegalState, Security, Runtime, Exception };

// A failure that the frame turns into a pending Java exception once the native's error result
// is made. `mapped` marks the guarded block's handlers, which trace "<class> thrown." at DEBUG
// afterwards; `unknown` the last handler, which also logs its message at DEBUG first.
struct NativeFailure {
    JavaExceptionKind kind;
    std::wstring message;
    bool mapped;
    bool unknown;

    static NativeFailure unknownError();
};

// The registry root a native receives: the predefined root's handle value, sign-extended as
// the stand-in's roots are.
inline HKEY registryRoot(jint root) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(root));
}

// A new empty Java string, or a new String[0]: the error results of the text and list natives.
jstring newEmptyJavaString(JNIEnv* env);
jobjectArray newEmptyStringArray(JNIEnv* env);

// The steps of one native inside the frame: conversions, checks, trace and guarded block.
class RegistryNativeFrame {
public:
    RegistryNativeFrame(JNIEnv* env, const NativeSite& site) : env(env), site(site) {}
    RegistryNativeFrame(const RegistryNativeFrame&) = delete;
    RegistryNativeFrame& operator=(const RegistryNativeFrame&) = delete;

    // The parent key's text; an empty one fails with "Parent key is empty.".
    std::wstring parentKeyText(jstring parentKey);
    // The key's (or value name's) text; an empty one fails with "Key is empty.".
    std::wstring keyText(jstring key);
    // Any other string argument's text, which may be empty.
    std::wstring text(jstring value);

    // The argument trace, at CALL when that threshold is on (the frame's traces carry line 0).
    template <typename... Arguments>
    void traceArguments(const wchar_t* format, Arguments... arguments) const {
        KREL_INTERNAL_CALL_AT(site.function, site.file, 0, format, arguments...);
    }

    // Runs the registry work. Every exception it throws becomes the failure of the first
    // matching handler: KrelIllegalArgumentException IllegalArgumentException,
    // KrelIllegalStateException IllegalStateException, KrelAccessException SecurityException,
    // KrelUnknownException and KrelRuntimeException RuntimeException, any other KrelException
    // Exception, each with the exception's message; anything else RuntimeException "Unknown
    // error encountered.". Only natives call it, on a Java VM's thread, which nothing cancels.
    template <typename Work> auto guarded(Work&& work) -> decltype(work()) {
        try {
            return work();
        } catch (const krel_std::KrelIllegalArgumentException& e) {
            throw NativeFailure{JavaExceptionKind::IllegalArgument, e.getMessage(), true, false};
        } catch (const krel_std::KrelIllegalStateException& e) {
            throw NativeFailure{JavaExceptionKind::IllegalState, e.getMessage(), true, false};
        } catch (const krel_std::KrelAccessException& e) {
            throw NativeFailure{JavaExceptionKind::Security, e.getMessage(), true, false};
        } catch (const krel_std::KrelUnknownException& e) {
            throw NativeFailure{JavaExceptionKind::Runtime, e.getMessage(), true, false};
        } catch (const krel_std::KrelRuntimeException& e) {
            throw NativeFailure{JavaExceptionKind::Runtime, e.getMessage(), true, false};
        } catch (const krel_std::KrelException& e) {
            throw NativeFailure{JavaExceptionKind::Exception, e.getMessage(), true, false};
        } catch (...) {
            throw NativeFailure::unknownError();
        }
    }

    // Raises the failure's Java exception with its traces. When the VM already has an
    // exception pending (its own error while making a result), that one is left to Java.
    void raise(const NativeFailure& failure) const;

private:
    // Fails when the VM could not read a string (its error is then pending).
    void checkConversion() const;
    // Fails with the message when the text holds a NUL character.
    static void refuseNul(const std::wstring& text, const wchar_t* message);

    JNIEnv* env;
    NativeSite site;
};

// Runs a registry native in its frame: `body` does the native's work with the frame and
// answers its Java result; `errorResult` makes the native's answer when a Java exception is
// raised instead, before that exception is raised. No C++ exception leaves. A native runs on
// a Java VM's thread, which nothing cancels, so no cancellation's unwinding meets the catches.
template <typename Result, typename Body, typename ErrorResult>
Result runRegistryNative(JNIEnv* env, const NativeSite& site, Body&& body,
                         ErrorResult&& errorResult) noexcept {
    RegistryNativeFrame frame(env, site);
    try {
        krel_std::LogFunctionCall scope(site.function, L"KrelStd", site.file, 0, krel_std::CALL,
                                        true);
        try {
            return body(frame);
        } catch (const NativeFailure& failure) {
            const Result result = env->ExceptionCheck() ? Result() : errorResult();
            frame.raise(failure);
            return result;
        } catch (...) {
            const Result result = env->ExceptionCheck() ? Result() : errorResult();
            frame.raise(NativeFailure::unknownError());
            return result;
        }
    } catch (...) {
        // The trace scope itself failed: still no C++ exception reaches the VM.
        try {
            const Result result = env->ExceptionCheck() ? Result() : errorResult();
            frame.raise(NativeFailure::unknownError());
            return result;
        } catch (...) {
            return Result();
        }
    }
}

// The same for the natives without a result.
template <typename Body>
void runRegistryNative(JNIEnv* env, const NativeSite& site, Body&& body) noexcept {
    runRegistryNative<int>(
        env, site,
        [&](RegistryNativeFrame& frame) {
            body(frame);
            return 0;
        },
        [] { return 0; });
}

} // namespace krel_std_internal
