#include "base/LibraryMain.h"

#include <atomic>

#include "base/AutoRegisterClass.h"
#include "jni/JniCallbackQueue.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "log/LogFileFilter.h"
#include "log/NTEventLogAppender.h"
#include "log/OutputDebugAppender.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLog.h"
#include "pattern/SingletonManager.h"
#include "platform/CancellationOff.h"
#include "prefs/FilePreferencesFactory.h"
#include "prefs/RegistryPreferencesFactory.h"
#include "system/Paths.h"
#include "xml/XmlUtils.h"

namespace krel_std_internal {

namespace {

// Runs one step of a hook. A failing step never stops the steps after it, and nothing escapes
// into the loader. The loading thread may be cancellable: cancellation is off during the step,
// so no cancellation's unwinding meets the catch.
void runStep(void (*step)()) noexcept {
    krel_platform::CancellationOff cancellationOff;
    try {
        step();
    } catch (...) {
        // The step's own failure handling has run; the hook goes on with the next step.
    }
}

// The prototypes that configuration files and the environment name, one line each, always in
// this order: RegistryPreferencesFactory, Paths, FilePreferencesFactory, DebugFileFilter,
// LogFileFilter, KrelLogLayout, RollingFileAppender, OutputDebugAppender, NTEventLogAppender.
// A refused registration leaves that one name unregistered.
void registerPrototypes() {
    runStep(&krel_std::AutoRegisterClass<krel_std::RegistryPreferencesFactory>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::Paths>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::FilePreferencesFactory>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::DebugFileFilter>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::LogFileFilter>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::KrelLogLayout>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::RollingFileAppender>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::OutputDebugAppender>::registerClass);
    runStep(&krel_std::AutoRegisterClass<krel_std::NTEventLogAppender>::registerClass);
}

// Wakes a Java thread waiting for callbacks and drops what is queued; the queue is made here if
// no Java caller ever used it.
void shutdownJniCallbackQueue() {
    krel_std::Singleton<krel_std::JniCallbackQueue>::getInstance().shutdown();
}

std::atomic<bool> detached{false};

__attribute__((constructor)) void onLibraryLoad() {
    krelLibraryAttach();
}

__attribute__((destructor)) void onLibraryUnload() {
    krelLibraryDetach();
}

} // namespace

// Everything these steps reach is made on first use: the hook may run before the static
// initialisers of other translation units of the library. The XML parser's start follows the
// registrations as the last step.
void krelLibraryAttach() {
    runStep(&krel_std::SingletonManager::initLocks);
    runStep(&krel_std::StaticLog::initLocks);
    registerPrototypes();
    runStep(&krel_std::XmlUtils::initializeXercesSystem);
}

// Singletons and the threads they own are left running: they are never destroyed. The XML
// parser's shutdown and then the Java callback queue's shutdown come before the static log.
void krelLibraryDetach() {
    if (detached.exchange(true)) {
        return;
    }
    runStep(&krel_std::XmlUtils::terminateXercesSystem);
    runStep(&shutdownJniCallbackQueue);
    runStep(&krel_std::StaticLog::destroyInstance);
    runStep(&krel_std::SingletonManager::destroyLocks);
    runStep(&krel_std::SingletonManager::destroyInstance);
}

} // namespace krel_std_internal
