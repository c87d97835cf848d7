// The Java callback queue without a Java VM: records answer tags. The queue is one per process
// and its shut-down is final, so every shut-down runs in a process of its own.
#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/LibraryMain.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "jni/JniQueueTestSupport.h"
#include "platform/Utf16.h"

namespace {

using krel_test::callbackQueue;
using krel_test::expectInOwnProcess;
using krel_test::QueueConsumer;
using krel_test::TagCallback;
using krel_test::tagObject;
using krel_test::WaitingConsumer;

std::vector<jobject> tags(std::uintptr_t first, std::size_t count) {
    std::vector<jobject> objects;
    for (std::size_t i = 0; i < count; ++i) {
        objects.push_back(tagObject(first + i));
    }
    return objects;
}

// The message of the KrelException that call throws, or why there is none.
template <class Call> std::string failureOf(Call call) {
    try {
        call();
    } catch (const krel_std::KrelException& error) {
        return krel_platform::wideToUtf8(error.getClassName() + L": " + error.getMessage());
    }
    return "(nothing thrown)";
}

const char* const SHUT_DOWN =
    "com.vandrel.exception.KrelIllegalStateException: JniCallbackQueue is shutdown.";

TEST(JniCallbackQueueTest, RecordsQueuedBeforeTheConsumerWaitsAllComeOutInOrder) {
    for (std::uintptr_t tag = 100; tag < 110; ++tag) {
        callbackQueue().enqueue(TagCallback::make(tag));
    }
    QueueConsumer consumer(10);
    EXPECT_EQ(tags(100, 10), consumer.awaitAll());
}

TEST(JniCallbackQueueTest, RecordsQueuedWhileTheConsumerWaitsComeOutInOrder) {
    QueueConsumer consumer(20);
    for (std::uintptr_t tag = 200; tag < 220; ++tag) {
        callbackQueue().enqueue(TagCallback::make(tag));
    }
    EXPECT_EQ(tags(200, 20), consumer.awaitAll());
}

TEST(JniCallbackQueueTest, FourProducerThreadsLoseNothing) {
    const std::size_t perProducer = 500;
    QueueConsumer consumer(4 * perProducer);
    std::vector<std::thread> producers;
    for (std::uintptr_t producer = 0; producer < 4; ++producer) {
        producers.emplace_back([producer, perProducer] {
            for (std::uintptr_t i = 0; i < perProducer; ++i) {
                callbackQueue().enqueue(TagCallback::make((producer + 1) * 10000 + i));
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    const std::vector<jobject> taken = consumer.awaitAll();
    ASSERT_EQ(4 * perProducer, taken.size());
    // Each producer's records come out in the order it queued them.
    std::vector<std::uintptr_t> next{10000, 20000, 30000, 40000};
    for (const jobject object : taken) {
        const std::uintptr_t tag = reinterpret_cast<std::uintptr_t>(object);
        const std::size_t producer = tag / 10000 - 1;
        ASSERT_LT(producer, 4u);
        ASSERT_EQ(next[producer], tag);
        ++next[producer];
    }
}

TEST(JniCallbackQueueTest, EmptyPointerIsRefused) {
    EXPECT_EQ(
        "com.vandrel.exception.KrelIllegalArgumentException: JNI callback object value is NULL.",
        failureOf([] { callbackQueue().enqueue(boost::shared_ptr<krel_std::IJniCallback>()); }));
}

TEST(JniCallbackQueueShutdownTest, ShutdownDropsQueuedRecords) {
    expectInOwnProcess([]() -> std::string {
        std::atomic<int> released{0};
        for (std::uintptr_t tag = 1; tag <= 3; ++tag) {
            callbackQueue().enqueue(TagCallback::make(tag, &released));
        }
        callbackQueue().shutdown();
        return released.load() == 3 ? "" : "records kept: " + std::to_string(3 - released.load());
    });
}

TEST(JniCallbackQueueShutdownTest, ShutdownWakesTheWaitingConsumerWithNull) {
    expectInOwnProcess([]() -> std::string {
        WaitingConsumer consumer;
        if (!consumer.waitUntilWaiting()) {
            return "the consumer never came to wait";
        }
        callbackQueue().shutdown();
        const std::string outcome = consumer.outcome();
        return outcome == "null" ? "" : "consumer: " + outcome;
    });
}

TEST(JniCallbackQueueShutdownTest, SecondShutdownDoesNothing) {
    expectInOwnProcess([]() -> std::string {
        callbackQueue().shutdown();
        const std::string second = failureOf([] { callbackQueue().shutdown(); });
        if (second != "(nothing thrown)") {
            return "second shut-down: " + second;
        }
        const std::string enqueue =
            failureOf([] { callbackQueue().enqueue(TagCallback::make(1)); });
        return enqueue == SHUT_DOWN ? "" : "enqueue after both: " + enqueue;
    });
}

TEST(JniCallbackQueueShutdownTest, EnqueueAfterShutdownThrowsAndKeepsNothing) {
    expectInOwnProcess([]() -> std::string {
        callbackQueue().shutdown();
        std::atomic<int> released{0};
        const std::string failure =
            failureOf([&] { callbackQueue().enqueue(TagCallback::make(1, &released)); });
        if (failure != SHUT_DOWN) {
            return "enqueue: " + failure;
        }
        return released.load() == 1 ? "" : "the refused record is still held";
    });
}

TEST(JniCallbackQueueShutdownTest, DequeueAfterShutdownThrowsAtOnce) {
    expectInOwnProcess([]() -> std::string {
        callbackQueue().shutdown();
        WaitingConsumer consumer;
        const std::string outcome = consumer.outcome();
        return outcome == std::string("threw JniCallbackQueue is shutdown.")
                   ? ""
                   : "dequeue: " + outcome;
    });
}

TEST(LibraryUnloadQueueTest, UnloadHookWakesTheWaitingConsumerWithNull) {
    expectInOwnProcess([]() -> std::string {
        WaitingConsumer consumer;
        if (!consumer.waitUntilWaiting()) {
            return "the consumer never came to wait";
        }
        krel_std_internal::krelLibraryDetach();
        const std::string outcome = consumer.outcome();
        return outcome == "null" ? "" : "consumer: " + outcome;
    });
}

TEST(LibraryUnloadQueueTest, UnloadHookShutsDownAQueueNeverUsed) {
    expectInOwnProcess([]() -> std::string {
        krel_std_internal::krelLibraryDetach();
        const std::string failure =
            failureOf([] { callbackQueue().enqueue(TagCallback::make(1)); });
        return failure == SHUT_DOWN ? "" : "enqueue after unload: " + failure;
    });
}

} // namespace
