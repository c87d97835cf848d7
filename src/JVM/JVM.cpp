#include "jni/JVM.h"

#include <sstream>

#include "JVM/JVMBestMatch.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "library/KrelLibrary.h"
#include "pattern/Singleton.h"
#include "platform/JavaRuntimes.h"
#include "platform/Utf16.h"
#include "prefs/Preferences.h"
#include "thread/AutoLock.h"
#include "thread/Lock.h"

namespace krel_std {

namespace {

using krel_std_internal::FaultTranslator;

typedef jint(JNICALL* CreateJavaVMFunction)(JavaVM**, void**, void*);

const wchar_t* const JAVA_SOFT_PATH = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";

// One piece of a version text as a number: leading blanks skipped, reading up to the first
// character that is not part of a number; 0 when no number is there.
int32_t versionNumber(const std::wstring& piece) {
    std::wistringstream stream(piece);
    int32_t number = 0;
    stream >> number;
    return stream.fail() ? 0 : number;
}

// Cuts `rest` at the first of `separators`: answers the part before it and leaves the part
// after it in `rest`; without a separator answers all of `rest` and empties it. `found` tells
// which separator was met (0 for none).
std::wstring cutAt(std::wstring& rest, const wchar_t* separators, wchar_t& found) {
    const std::wstring::size_type at = rest.find_first_of(separators);
    if (at == std::wstring::npos) {
        found = 0;
        std::wstring all;
        all.swap(rest);
        return all;
    }
    found = rest[at];
    const std::wstring before = rest.substr(0, at);
    rest.erase(0, at + 1);
    return before;
}

// The library's usual throw: log at DEBUG under the thrower's name, then throw.
template <typename E> [[noreturn]] void raise(E exception, const wchar_t* where) {
    exception.logDebug(where);
    throw exception;
}

// The runtimes found on the machine, as the registry would list them.
std::vector<JVM::JVMInfo> discoveredRuntimes() {
    std::vector<JVM::JVMInfo> runtimes;
    for (const krel_platform::JavaRuntime& runtime : krel_platform::findInstalledJavaRuntimes()) {
        runtimes.push_back({runtime.version, runtime.javaHome, runtime.runtimeLib});
    }
    return runtimes;
}

} // namespace

JVM::JVMVersion::JVMVersion() : major{0}, minor{0}, micro{0}, update{0} {}

bool JVM::JVMVersion::operator<(const JVMVersion& other) const {
    if (major != other.major) {
        return major < other.major;
    }
    if (minor != other.minor) {
        return minor < other.minor;
    }
    if (micro != other.micro) {
        return micro < other.micro;
    }
    if (update != other.update) {
        return update < other.update;
    }
    return krel_platform::wideToUtf16(qualifier) < krel_platform::wideToUtf16(other.qualifier);
}

void JVM::JNIEnvDetachDeleter::operator()(JNIEnv* env) const {
    if (env == nullptr) {
        return;
    }
    FaultTranslator::ActiveScope vmCall(false);
    JavaVM* vm = nullptr;
    if (env->GetJavaVM(&vm) != JNI_OK || vm == nullptr) {
        return;
    }
    KREL_INTERNAL_DEBUG(L"krel_std::JVM::JNIEnvDetachDeleter::operator ()",
                        L"Detaching current thread from JVM.");
    vm->DetachCurrentThread();
}

JVM::JVM() : jvm(nullptr), env(nullptr) {}

JVM::~JVM() {}

boost::shared_ptr<JVM>& JVM::instance() {
    static boost::shared_ptr<JVM>& handle = *new boost::shared_ptr<JVM>;
    return handle;
}

Lock& JVM::lock() {
    static Lock& guard = *new Lock;
    return guard;
}

boost::shared_ptr<JVM> JVM::getInstance() {
    AutoLock<Lock> guard(lock());
    return instance();
}

JavaVM* JVM::getJVM() const {
    return jvm.load(std::memory_order_acquire);
}

bool JVM::setJVM(JavaVM* vm) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::JVM::setJVM", L"Begin. jvm=<%p>.", static_cast<void*>(vm));
    AutoLock<Lock> guard(lock());
    boost::shared_ptr<JVM>& handle = instance();
    if (!handle) {
        handle.reset(new JVM);
    }
    if (handle->getJVM() != nullptr) {
        return false;
    }
    handle->jvm.store(vm, std::memory_order_release);
    return true;
}

boost::shared_ptr<JNIEnv> JVM::getEnv() const {
    JavaVM* vm = getJVM();
    if (vm == nullptr) {
        return boost::shared_ptr<JNIEnv>();
    }
    FaultTranslator::ActiveScope vmCall(false);
    void* threadEnv = nullptr;
    const jint answer = vm->GetEnv(&threadEnv, USE_JNI_VERSION);
    if (answer == JNI_OK) {
        return boost::shared_ptr<JNIEnv>(static_cast<JNIEnv*>(threadEnv), null_deleter());
    }
    if (answer != JNI_EDETACHED) {
        return boost::shared_ptr<JNIEnv>();
    }
    KREL_INTERNAL_DEBUG(L"krel_std::JVM::getEnv", L"Attaching current thread to JVM.");
    if (vm->AttachCurrentThread(&threadEnv, nullptr) != JNI_OK || threadEnv == nullptr) {
        return boost::shared_ptr<JNIEnv>();
    }
    return boost::shared_ptr<JNIEnv>(static_cast<JNIEnv*>(threadEnv), JNIEnvDetachDeleter());
}

JVM::JVMVersion JVM::getJVMVersion(const std::wstring& version) {
    JVMVersion result;
    std::wstring rest = version;
    wchar_t separator = 0;
    result.major = versionNumber(cutAt(rest, L".", separator));
    if (separator == 0) {
        return result;
    }
    if (rest.empty()) {
        return result;
    }
    result.minor = versionNumber(cutAt(rest, L".", separator));
    if (separator == 0 || rest.empty()) {
        return result;
    }
    result.micro = versionNumber(cutAt(rest, L"_-", separator));
    if (separator == 0) {
        return result;
    }
    if (separator == L'_') {
        result.update = versionNumber(cutAt(rest, L"-", separator));
        if (separator == 0) {
            return result;
        }
    }
    result.qualifier = rest;
    return result;
}

std::vector<JVM::JVMInfo> JVM::getInstalledJVMs() {
    std::vector<JVMInfo> installed;
    bool listed = false;
    try {
        const boost::shared_ptr<Preferences> root = Preferences::systemRoot();
        if (root->nodeExists(JAVA_SOFT_PATH)) {
            listed = true;
            const boost::shared_ptr<Preferences> javaSoft = root->node(JAVA_SOFT_PATH);
            for (const std::wstring& name : javaSoft->childrenNames()) {
                const boost::shared_ptr<Preferences> child = javaSoft->node(name);
                installed.push_back(
                    {name, child->get(L"JavaHome", L""), child->get(L"RuntimeLib", L"")});
            }
        }
    } catch (const KrelException& e) {
        KREL_INTERNAL_DEBUG(L"krel_std::JVM::getInstalledJVMs",
                            L"Unable to iterate installed JVMS: %ls", e.getMessage().c_str());
        listed = listed && !installed.empty();
    }
    return listed ? installed : discoveredRuntimes();
}

JVM::JVMInfo JVM::getBestMatchedJVM(const std::wstring& desired) {
    return krel_std_internal::bestMatchedJVM(desired, getInstalledJVMs());
}

boost::shared_ptr<JVM> JVM::loadJVM(const std::wstring& version,
                                    const std::vector<std::wstring>& options) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::JVM::loadJVM", L"Begin. version=<%ls>.", version.c_str());
    AutoLock<Lock> guard(lock());
    ErrorUtils::isNotNullEx(instance(), L"krel_std::JVM::loadJVM", L"Instance");
    const JVMInfo info = getBestMatchedJVM(version);
    KREL_INTERNAL_DEBUG(L"krel_std::JVM::loadJVM", L"Using JVM Version: <%ls>.",
                        info.version.c_str());
    return loadJVM(File(info.runtimeLib), options);
}

boost::shared_ptr<JVM> JVM::loadJVM(const File& runtimeLib,
                                    const std::vector<std::wstring>& options) {
    const wchar_t* const where = L"krel_std::JVM::loadJVM";
    const std::wstring path = runtimeLib.getCanonicalPath();
    KREL_TRACE_SCOPE_ARGS(where, L"Begin. runtimeLib=<%ls>.", path.c_str());
    if (!runtimeLib.isFile() || !runtimeLib.canRead()) {
        raise(KrelIllegalArgumentException(L"Invalid file parameter."), where);
    }
    AutoLock<Lock> guard(lock());
    ErrorUtils::isNotNullEx(instance(), where, L"Instance");

    KREL_INTERNAL_TRACE(where, L"Load JVM Library.");
    const boost::shared_ptr<JVM> created(new JVM);
    instance() = created;
    try {
        created->runtimeLibrary.reset(new KrelLibrary(runtimeLib));
    } catch (const KrelException& e) {
        KREL_INTERNAL_TRACE(where, L"Unable to load jvm <%ls>: <%ls>. ", path.c_str(),
                            e.getMessage().c_str());
        raise(KrelIOException(L"Unable to load JVM.", e), where);
    }

    KREL_INTERNAL_TRACE(where, L"Load JNI_CreateJavaVM symbol.");
    CreateJavaVMFunction createJavaVM = nullptr;
    try {
        createJavaVM =
            created->runtimeLibrary->getSymbol<CreateJavaVMFunction>(L"JNI_CreateJavaVM");
    } catch (const KrelException& e) {
        KREL_INTERNAL_TRACE(where, L"Unable to load JNI_CreateJavaVM symbol: <%ls>.",
                            e.getMessage().c_str());
        raise(KrelIOException(L"Unable to load JVM", e), where);
    }

    // The option texts live in these copies until the VM has read them.
    KREL_INTERNAL_TRACE(where, L"Initializing JVM Options.");
    std::vector<std::string> optionTexts;
    optionTexts.reserve(options.size());
    for (const std::wstring& option : options) {
        KREL_INTERNAL_TRACE(where, L"Adding option: <%ls>.", option.c_str());
        optionTexts.push_back(krel_platform::wideToUtf8(option));
    }
    std::vector<JavaVMOption> vmOptions(optionTexts.size());
    for (size_t index = 0; index < optionTexts.size(); ++index) {
        vmOptions[index].optionString = &optionTexts[index][0];
        vmOptions[index].extraInfo = nullptr;
    }

    KREL_INTERNAL_TRACE(where, L"Initializing args.");
    JavaVMInitArgs arguments;
    arguments.version = USE_JNI_VERSION;
    arguments.nOptions = static_cast<jint>(vmOptions.size());
    arguments.options = vmOptions.empty() ? nullptr : vmOptions.data();
    arguments.ignoreUnrecognized = JNI_TRUE;

    JavaVM* vm = nullptr;
    void* creatorEnv = nullptr;
    jint answer = 0;
    {
        FaultTranslator::ActiveScope vmCall(false);
        answer = createJavaVM(&vm, &creatorEnv, &arguments);
    }
    if (answer < 0) {
        raise(KrelIOException(L"Unable to create Java Virtual Machine.", answer), where);
    }
    created->env = static_cast<JNIEnv*>(creatorEnv);
    created->jvm.store(vm, std::memory_order_release);
    KREL_INTERNAL_DEBUG(where, L"JVM loaded successfully.");
    return instance();
}

} // namespace krel_std
