package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Optional;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/**
 * The shut-down of the callback queue, which is final for a process: the first test to run
 * terminates the queue while a consumer waits, and every test looks at the state it left.
 */
public class CallbackTerminationTest extends RegistryKeys {
    private static final String CONSUMER_NAME = "krel-terminate";
    private static final long WAIT_NANOS = TimeUnit.SECONDS.toNanos(5);

    /** What the waiting consumer got: a callback or none (null), or what it raised. */
    private static Object consumerOutcome;

    private static synchronized Object terminateWhileAConsumerWaits() throws Exception {
        if (consumerOutcome == null) {
            CompletableFuture<Object> outcome = new CompletableFuture<>();
            Thread consumer = new Thread(() -> {
                try {
                    outcome.complete(Optional.ofNullable(RegistryPreferencesJni.getJniCallbackData()));
                } catch (Throwable thrown) {
                    outcome.complete(thrown);
                }
            }, CONSUMER_NAME);
            consumer.setDaemon(true);
            consumer.start();
            awaitWaitingInTheNative(consumer);
            RegistryPreferencesJni.terminateJniCallback();
            consumerOutcome = outcome.get(5, TimeUnit.SECONDS);
        }
        return consumerOutcome;
    }

    /**
     * Waits until the consumer sleeps inside getJniCallbackData: its Java stack ends in the native
     * and the kernel reports its thread (named after it) asleep.
     */
    private static void awaitWaitingInTheNative(Thread consumer) throws IOException {
        long deadline = System.nanoTime() + WAIT_NANOS;
        while (System.nanoTime() < deadline) {
            StackTraceElement[] stack = consumer.getStackTrace();
            if (stack.length > 0 && stack[0].isNativeMethod()
                    && stack[0].getMethodName().equals("getJniCallbackData")
                    && nativeThreadAsleep(CONSUMER_NAME)) {
                return;
            }
            Thread.onSpinWait();
        }
        fail("the consumer never came to wait in getJniCallbackData");
    }

    private static boolean nativeThreadAsleep(String name) throws IOException {
        try (DirectoryStream<Path> tasks = Files.newDirectoryStream(Paths.get("/proc/self/task"))) {
            for (Path task : tasks) {
                if (Files.readString(task.resolve("comm")).trim().equals(name)) {
                    for (String line : Files.readAllLines(task.resolve("status"))) {
                        if (line.startsWith("State:")) {
                            return line.contains("S");
                        }
                    }
                }
            }
        }
        return false;
    }

    @Test
    public void waitingConsumerGetsNullAfterTerminate() throws Exception {
        assertEquals(Optional.empty(), terminateWhileAConsumerWaits());
    }

    @Test
    public void secondTerminateDoesNothing() throws Exception {
        terminateWhileAConsumerWaits();
        RegistryPreferencesJni.terminateJniCallback();
    }

    @Test
    public void laterGetJniCallbackDataRaisesIllegalState() throws Exception {
        terminateWhileAConsumerWaits();
        IllegalStateException thrown = thrownExactly(IllegalStateException.class,
                RegistryPreferencesJni::getJniCallbackData);
        assertEquals("JniCallbackQueue is shutdown.", thrown.getMessage());
    }

    /** The listener drops the change; nothing reaches Java and monitoring still works. */
    @Test
    public void changeAfterTerminationIsDroppedWithoutError() throws Exception {
        terminateWhileAConsumerWaits();
        String key = testKey();
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "name", "text");
        RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, key);
        assertTrue(thrownExactly(IllegalStateException.class,
                RegistryPreferencesJni::getJniCallbackData).getMessage().contains("shutdown"));
    }
}
