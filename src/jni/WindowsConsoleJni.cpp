// The console title natives of com.vandrel.util.WindowsConsoleJni. They report failure only
// by their results and raise no Java exception; no C++ exception leaves them either.
#include <algorithm>
#include <jni.h>
#include <string>

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "jni/JNIUtils.h"
#include "jni/RegistryNativeFrame.h"
#include "platform/WinConsole.h"

namespace {

const wchar_t* const SET_CONSOLE_TITLE = L"Java_com_vandrel_util_WindowsConsoleJni_setConsoleTitle";
const wchar_t* const GET_CONSOLE_TITLE = L"Java_com_vandrel_util_WindowsConsoleJni_getConsoleTitle";

// The title buffer, in characters; a title is read back to at most one less.
const DWORD TITLE_CHARACTERS = 256;

jint setTitle(JNIEnv* env, jstring title) {
    KREL_TRACE_SCOPE(SET_CONSOLE_TITLE);
    const std::wstring text = krel_std::getJniString(env, title);
    if (text.empty()) {
        KREL_INTERNAL_DEBUG(SET_CONSOLE_TITLE, L"Title passed is empty. Returning error.");
        return -1;
    }
    KREL_INTERNAL_CALL(SET_CONSOLE_TITLE, L"Title <%ls>.", text.c_str());
    const BOOL answer = SetConsoleTitleW(text.c_str());
    if (answer != FALSE) {
        return answer;
    }
    KREL_INTERNAL_DEBUG(SET_CONSOLE_TITLE, L"An error occurred in SetConsoleTitle: <%ls>.",
                        krel_std::ErrorUtils::getLastErrorDescription().c_str());
    return -1;
}

jstring getTitle(JNIEnv* env) {
    KREL_TRACE_SCOPE(GET_CONSOLE_TITLE);
    wchar_t buffer[TITLE_CHARACTERS] = {};
    const DWORD count = std::min(GetConsoleTitleW(buffer, TITLE_CHARACTERS), TITLE_CHARACTERS - 1);
    return krel_std_internal::newJavaString(env, std::wstring(buffer, count));
}

} // namespace

// The natives run on a Java VM's thread, which nothing cancels: no cancellation's unwinding
// meets their catches.
extern "C" {

JNIEXPORT jint JNICALL Java_com_vandrel_util_WindowsConsoleJni_setConsoleTitle(JNIEnv* env, jobject,
                                                                               jstring title) {
    try {
        return setTitle(env, title);
    } catch (...) {
        return -1;
    }
}

JNIEXPORT jstring JNICALL Java_com_vandrel_util_WindowsConsoleJni_getConsoleTitle(JNIEnv* env,
                                                                                  jobject) {
    try {
        return getTitle(env);
    } catch (...) {
        return env->ExceptionCheck() ? nullptr : krel_std_internal::newEmptyJavaString(env);
    }
}

} // extern "C"
