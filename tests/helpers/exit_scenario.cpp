// Starts every thread the library owns, keeps them busy from a thread of its own, and returns
// while they all still run, so that the process exit that follows meets the library's unload
// hook with its threads at work.
//
// krelExitScenario(directory): the directory receives the log configuration, the rolling log
// files, a watched configuration file and a preferences document. Answers 0 once every thread
// has shown it runs, 1 when a thread was not heard from in time.
//
// The threads: the file watcher, the preference dispatch and the registry threads, the rolling
// log's, and a Java VM, found as an installed runtime, whose Java thread takes the callbacks of
// the preference node that is written over and over (KREL_EXIT_CLASS_PATH holds KrelStd.jar and
// that thread's class, KREL_EXIT_LIBRARY_PATH the library's directory).
#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "config/ConfigurationChangeEvent.h"
#include "config/ConfigurationListener.h"
#include "config/KrelConfig.h"
#include "exception/KrelException.h"
#include "jni/JVM.h"
#include "log/KrelLoggerSTD.h"
#include "log/StaticLog.h"
#include "pattern/Singleton.h"
#include "platform/Utf16.h"
#include "prefs/PreferenceChangeEvent.h"
#include "prefs/PreferenceChangeListener.h"
#include "prefs/Preferences.h"
#include "system/Paths.h"

namespace {

namespace fs = std::filesystem;

// Counts the reports of one kind of thread and lets main wait for the first.
class Heard {
public:
    void tell() {
        std::lock_guard<std::mutex> guard(mutex);
        ++count;
        changed.notify_all();
    }

    bool waitForFirst() {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(30), [this] { return count > 0; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    unsigned int count = 0;
};

class PreferenceHeard : public krel_std::PreferenceChangeListener {
public:
    void preferenceChange(const boost::shared_ptr<krel_std::PreferenceChangeEvent>&) override {
        heard.tell();
    }
    Heard heard;
};

class ConfigurationHeard : public krel_std::ConfigurationListener {
public:
    void onConfigChange(const krel_std::ConfigurationChangeEvent&) override { heard.tell(); }
    Heard heard;
};

void writeFile(const fs::path& file, const std::string& text) {
    const fs::path staged = file.string() + ".staged";
    {
        std::ofstream out(staged, std::ios::binary | std::ios::trunc);
        out << text;
    }
    fs::rename(staged, file);
}

// The static log with one rolling file appender; its configuration file is watched too.
void startRollingLog(const fs::path& directory) {
    krel_std::Paths::getInstance()->setPath(L"System Config Path Key",
                                            krel_platform::utf8ToWide(directory.string()));
    writeFile(directory / "ExitHelper.cfg", "[Debug Log]\nThreshold=DEBUG\n[Log Appenders]\n"
                                            "appender.r.class=krel_std.RollingFileAppender\n"
                                            "appender.r.filter=krel_std.DebugFileFilter\n"
                                            "appender.r.layout=krel_std.KrelLogLayout\n"
                                            "appender.r.path=" +
                                                (directory / "log" / "ExitHelper.log").string() +
                                                "\nappender.r.size=64KB\n");
    krel_std::StaticLog::initInstance(L"ExitHelper");
}

// Never destroyed: the process ends with the file still watched.
krel_std::KrelConfig& startWatchedConfiguration(const fs::path& file,
                                                const boost::shared_ptr<ConfigurationHeard>& to) {
    writeFile(file, "[Section]\nround=0\n");
    krel_std::KrelConfig& config =
        *new krel_std::KrelConfig(krel_platform::utf8ToWide(file.string()));
    config.load();
    config.addConfigurationListener(to);
    return config;
}

// A listener on a node of the registry preferences: the registry checking thread watches the
// node's key and the dispatch thread calls the listener.
boost::shared_ptr<krel_std::Preferences>
startPreferenceListener(const boost::shared_ptr<PreferenceHeard>& to) {
    const boost::shared_ptr<krel_std::Preferences> node =
        krel_std::Preferences::userRoot()->node(L"krel/exit helper");
    node->addPreferenceChangeListener(to);
    return node;
}

// The Java thread that takes the node's changes from the callback queue; it stays in
// getJniCallbackData until the queue is shut down.
class JavaConsumer {
public:
    // Creates the VM and starts the thread; throws KrelException when the VM cannot be made.
    // The VM keeps no performance data file, which an exit without its shut-down leaves behind.
    explicit JavaConsumer(const char* nodeKey)
        : vm(krel_std::JVM::loadJVM(L"17", {L"-XX:-UsePerfData",
                                            L"-Djava.class.path=" KREL_EXIT_CLASS_PATH,
                                            L"-Djava.library.path=" KREL_EXIT_LIBRARY_PATH})),
          env(vm->getEnv()), consumer(env ? env->FindClass("ExitCallbackConsumer") : nullptr) {
        if (consumer == nullptr) {
            if (env) {
                describedException();
            }
            return;
        }
        const jmethodID start = env->GetStaticMethodID(consumer, "start", "(Ljava/lang/String;)V");
        const jstring key = env->NewStringUTF(nodeKey);
        env->CallStaticVoidMethod(consumer, start, key);
        env->DeleteLocalRef(key);
        started = !describedException();
    }

    // Whether the thread took a change within 30 s.
    bool waitForFirst() {
        if (!started) {
            return false;
        }
        const jmethodID await = env->GetStaticMethodID(consumer, "awaitFirstCallback", "(J)Z");
        const bool taken = env->CallStaticBooleanMethod(consumer, await, jlong(30)) == JNI_TRUE;
        return !describedException() && taken;
    }

private:
    // Whether a Java exception is pending; it is printed and cleared.
    bool describedException() {
        if (!env->ExceptionCheck()) {
            return false;
        }
        env->ExceptionDescribe();
        env->ExceptionClear();
        return true;
    }

    boost::shared_ptr<krel_std::JVM> vm;
    boost::shared_ptr<JNIEnv> env;
    jclass consumer;
    bool started = false;
};

// A preferences document for the node, imported over and over: the XML parser is stopped at
// exit while a parse may be running.
std::wstring writeImportDocument(const fs::path& file) {
    writeFile(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                    "<preferences><root type=\"user\"><map/>"
                    "<node name=\"krel\"><map/><node name=\"exit import\">"
                    "<map><entry key=\"imported\" value=\"yes\"/></map>"
                    "</node></node></root></preferences>");
    return krel_platform::utf8ToWide(file.string());
}

// Keeps every library thread at work until the process ends: log lines for the rolling log,
// values for the preference listener, edits for the watched file, and XML imports.
void keepBusy(const boost::shared_ptr<krel_std::Preferences>& node, const fs::path& watched,
              const std::wstring& importDocument) {
    for (unsigned long round = 1;; ++round) {
        try {
            krel_std::Singleton<krel_std::KrelLoggerSTD>::getInstance().STD0009(
                L"ExitHelper::keepBusy", round);
            node->put(L"round", std::to_wstring(round));
            node->flush();
            if (round % 16 == 0) {
                writeFile(watched, "[Section]\nround=" + std::to_string(round) + "\n");
            }
            krel_std::Preferences::importPreferences(importDocument);
        } catch (const krel_std::KrelException&) {
            // The library may refuse once the exit has begun; the next round tries again.
        }
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) int krelExitScenario(const char* path) {
    const fs::path directory = path;
    std::error_code ignored;
    fs::create_directories(directory / "log", ignored);
    const fs::path watched = directory / "watched.cfg";
    try {
        startRollingLog(directory);
        const auto configurationHeard =
            boost::shared_ptr<ConfigurationHeard>(new ConfigurationHeard);
        startWatchedConfiguration(watched, configurationHeard);
        const auto preferenceHeard = boost::shared_ptr<PreferenceHeard>(new PreferenceHeard);
        const boost::shared_ptr<krel_std::Preferences> node =
            startPreferenceListener(preferenceHeard);
        JavaConsumer javaConsumer("krel\\exit helper");
        std::thread(keepBusy, node, watched, writeImportDocument(directory / "import.xml"))
            .detach();
        if (!preferenceHeard->heard.waitForFirst() || !configurationHeard->heard.waitForFirst() ||
            !javaConsumer.waitForFirst()) {
            return 1;
        }
    } catch (const krel_std::KrelException&) {
        return 1;
    }
    return 0;
}
