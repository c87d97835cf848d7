// Shared helpers of the Java callback queue tests, none of which needs a Java VM: a record that
// answers a tag instead of a Java object, a JNIEnv whose few functions the records use are
// played by the test, a consumer thread with bounded waits, and a scenario run in a process of
// its own for what can happen only once per process (the queue's shut-down).
#pragma once

#include <atomic>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <jni.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jni/IJniCallback.h"
#include "jni/JniCallbackQueue.h"
#include "platform/Utf16.h"
#include "prefs/ChangeTestSupport.h"

namespace krel_test {

// Bound of every wait of these tests: reaching it means the awaited thing never came.
const std::chrono::seconds QUEUE_WAIT_LIMIT(10);

inline krel_std::JniCallbackQueue& callbackQueue() {
    return krel_std::Singleton<krel_std::JniCallbackQueue>::getInstance();
}

// The "Java object" of a tag: a pointer value no real object has.
inline jobject tagObject(std::uintptr_t tag) {
    return reinterpret_cast<jobject>(tag);
}

// A record whose Java object is its tag; it counts its destruction in `released`, when given.
class TagCallback final : public krel_std::IJniCallback {
public:
    explicit TagCallback(std::uintptr_t tag, std::atomic<int>* released = nullptr)
        : tag(tag), released(released) {}
    TagCallback(const TagCallback&) = delete;
    TagCallback& operator=(const TagCallback&) = delete;
    ~TagCallback() {
        if (released != nullptr) {
            ++*released;
        }
    }

    jobject createJniObject(JNIEnv*) override { return tagObject(tag); }

    static boost::shared_ptr<krel_std::IJniCallback> make(std::uintptr_t tag,
                                                          std::atomic<int>* released = nullptr) {
        return boost::make_shared<TagCallback>(tag, released);
    }

private:
    const std::uintptr_t tag;
    std::atomic<int>* const released;
};

// A JNIEnv that plays FindClass, GetMethodID, NewString, NewObject and DeleteLocalRef, records
// what it was asked and counts the local references it handed out and not yet got back. Each
// step can be told to fail as the VM does: with a null answer and an error pending.
class FakeJniEnv {
public:
    // One NewObject call: the constructor's arguments.
    struct Construction {
        jint root;
        std::wstring path;
        std::wstring key;
        std::wstring newValue;
    };

    FakeJniEnv() : holder{JNIEnv(), this} {
        functions.FindClass = &findClass;
        functions.GetMethodID = &getMethodId;
        functions.NewString = &newString;
        functions.NewObjectV = &newObjectV;
        functions.DeleteLocalRef = &deleteLocalRef;
        holder.env.functions = &functions;
    }
    FakeJniEnv(const FakeJniEnv&) = delete;
    FakeJniEnv& operator=(const FakeJniEnv&) = delete;

    JNIEnv* env() { return &holder.env; }

    // Failures to play.
    bool classMissing = false;
    bool constructorMissing = false;
    // NewString fails from this call on (0 is the first call); -1 never.
    int failingString = -1;
    bool objectRefused = false;

    std::vector<Construction> constructions() {
        std::lock_guard<std::mutex> guard(mutex);
        return made;
    }
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> guard(mutex);
        return log;
    }
    // The UTF-16 units of every string asked for, in order.
    std::vector<std::u16string> strings() {
        std::lock_guard<std::mutex> guard(mutex);
        return madeStrings;
    }
    // Local references handed out and not deleted, the constructed objects included.
    std::size_t liveReferences() {
        std::lock_guard<std::mutex> guard(mutex);
        return live.size();
    }
    bool errorPending() {
        std::lock_guard<std::mutex> guard(mutex);
        return pending;
    }

private:
    // JNIEnv first, so that the env pointer leads back to its fake.
    struct Holder {
        JNIEnv env;
        FakeJniEnv* fake;
    };

    static FakeJniEnv& of(JNIEnv* env) { return *reinterpret_cast<Holder*>(env)->fake; }

    jobject newReference() {
        const jobject reference = reinterpret_cast<jobject>(nextReference);
        nextReference += 16;
        live[reference] = std::u16string();
        return reference;
    }

    jobject fail(const char* call) {
        log.push_back(call);
        pending = true;
        return nullptr;
    }

    static jclass JNICALL findClass(JNIEnv* env, const char* name) {
        FakeJniEnv& fake = of(env);
        std::lock_guard<std::mutex> guard(fake.mutex);
        if (fake.classMissing) {
            return static_cast<jclass>(fake.fail("FindClass failed"));
        }
        fake.log.push_back(std::string("FindClass ") + name);
        return static_cast<jclass>(fake.newReference());
    }

    static jmethodID JNICALL getMethodId(JNIEnv* env, jclass, const char* name,
                                         const char* signature) {
        FakeJniEnv& fake = of(env);
        std::lock_guard<std::mutex> guard(fake.mutex);
        if (fake.constructorMissing) {
            fake.fail("GetMethodID failed");
            return nullptr;
        }
        fake.log.push_back(std::string("GetMethodID ") + name + " " + signature);
        return reinterpret_cast<jmethodID>(std::uintptr_t(0x77));
    }

    static jstring JNICALL newString(JNIEnv* env, const jchar* units, jsize length) {
        FakeJniEnv& fake = of(env);
        std::lock_guard<std::mutex> guard(fake.mutex);
        if (fake.failingString >= 0 &&
            static_cast<int>(fake.madeStrings.size()) >= fake.failingString) {
            return static_cast<jstring>(fake.fail("NewString failed"));
        }
        const std::u16string text(reinterpret_cast<const char16_t*>(units),
                                  static_cast<std::size_t>(length));
        fake.log.push_back("NewString");
        fake.madeStrings.push_back(text);
        const jobject reference = fake.newReference();
        fake.live[reference] = text;
        return static_cast<jstring>(reference);
    }

    static jobject JNICALL newObjectV(JNIEnv* env, jclass, jmethodID, va_list arguments) {
        FakeJniEnv& fake = of(env);
        std::lock_guard<std::mutex> guard(fake.mutex);
        if (fake.objectRefused) {
            return fake.fail("NewObject failed");
        }
        Construction construction;
        construction.root = va_arg(arguments, jint);
        construction.path = fake.textOf(va_arg(arguments, jstring));
        construction.key = fake.textOf(va_arg(arguments, jstring));
        construction.newValue = fake.textOf(va_arg(arguments, jstring));
        fake.log.push_back("NewObject");
        fake.made.push_back(construction);
        return fake.newReference();
    }

    static void JNICALL deleteLocalRef(JNIEnv* env, jobject reference) {
        FakeJniEnv& fake = of(env);
        std::lock_guard<std::mutex> guard(fake.mutex);
        fake.live.erase(reference);
    }

    std::wstring textOf(jstring reference) const {
        const auto found = live.find(reference);
        return found != live.end() ? krel_platform::utf16ToWide(found->second)
                                   : std::wstring(L"<dead reference>");
    }

    JNINativeInterface_ functions{};
    Holder holder;
    std::mutex mutex;
    std::uintptr_t nextReference = 0x1000;
    std::map<jobject, std::u16string> live;
    std::vector<std::string> log;
    std::vector<std::u16string> madeStrings;
    std::vector<Construction> made;
    bool pending = false;
};

// A thread that takes `expected` records from the queue with dequeue(env). A consumer that has
// not finished when destroyed (a test that failed) is fed tags until it has, so it always ends.
class QueueConsumer {
public:
    explicit QueueConsumer(std::size_t expected, JNIEnv* env = nullptr)
        : expected(expected), env(env), thread([this] { run(); }) {}
    QueueConsumer(const QueueConsumer&) = delete;
    QueueConsumer& operator=(const QueueConsumer&) = delete;
    ~QueueConsumer() {
        std::unique_lock<std::mutex> guard(mutex);
        while (!finished) {
            const std::size_t before = taken.size();
            guard.unlock();
            callbackQueue().enqueue(TagCallback::make(FILLER_TAG));
            guard.lock();
            changed.wait_for(guard, QUEUE_WAIT_LIMIT,
                             [&] { return finished || taken.size() > before; });
        }
        guard.unlock();
        thread.join();
    }

    // What was taken once all expected records came, or the limit passed.
    std::vector<jobject> awaitAll() {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait_for(guard, QUEUE_WAIT_LIMIT, [&] { return finished; });
        return taken;
    }

    static const std::uintptr_t FILLER_TAG = 0xF111;

private:
    void run() {
        for (std::size_t i = 0; i < expected; ++i) {
            const jobject object = callbackQueue().dequeue(env);
            std::lock_guard<std::mutex> guard(mutex);
            taken.push_back(object);
            changed.notify_all();
        }
        std::lock_guard<std::mutex> guard(mutex);
        finished = true;
        changed.notify_all();
    }

    const std::size_t expected;
    JNIEnv* const env;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<jobject> taken;
    bool finished = false;
    std::thread thread;
};

// One dequeue on a thread of its own, whose outcome is "null", "object" or "threw <message>".
class WaitingConsumer {
public:
    WaitingConsumer() : thread([this] { run(); }) {}
    WaitingConsumer(const WaitingConsumer&) = delete;
    WaitingConsumer& operator=(const WaitingConsumer&) = delete;
    // A consumer still waiting (a failed test) is left behind; its process ends soon.
    ~WaitingConsumer() {
        if (thread.joinable()) {
            thread.detach();
        }
    }

    // Whether, within the limit, the consumer came to sit in its wait (or already returned).
    bool waitUntilWaiting() {
        {
            std::unique_lock<std::mutex> guard(mutex);
            if (!changed.wait_for(guard, QUEUE_WAIT_LIMIT, [&] { return tid.load() != 0; })) {
                return false;
            }
        }
        return waitUntilAsleep(tid, blockedBefore, [&] { return done(); });
    }

    // The outcome, or "still waiting" when none came within the limit.
    std::string outcome() {
        std::unique_lock<std::mutex> guard(mutex);
        if (!changed.wait_for(guard, QUEUE_WAIT_LIMIT, [&] { return !result.empty(); })) {
            return "still waiting";
        }
        guard.unlock();
        thread.join();
        return result;
    }

private:
    void run() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            blockedBefore = ThreadSchedule::of(currentTid()).blocked;
            tid.store(currentTid());
            changed.notify_all();
        }
        std::string outcome;
        try {
            outcome = callbackQueue().dequeue(nullptr) == nullptr ? "null" : "object";
        } catch (const krel_std::KrelException& error) {
            outcome = "threw " + krel_platform::wideToUtf8(error.getMessage());
        }
        std::lock_guard<std::mutex> guard(mutex);
        result = outcome;
        changed.notify_all();
    }

    bool done() {
        std::lock_guard<std::mutex> guard(mutex);
        return !result.empty();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<pid_t> tid{0};
    long blockedBefore = 0;
    std::string result;
    std::thread thread;
};

// Runs the scenario in a process of its own; it passes when the scenario answers no failure.
// The scenario's failure text appears in the test's output.
inline void expectInOwnProcess(const std::function<std::string()>& scenario) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string failure = scenario();
            if (!failure.empty()) {
                std::fprintf(stderr, "%s\n", failure.c_str());
            }
            std::fflush(nullptr);
            std::_Exit(failure.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace krel_test
