package com.vandrel.util.prefs;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotNull;

import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * The one Java thread of a test VM that pulls callbacks: it blocks in getJniCallbackData and
 * hands each callback over, until the queue answers null. Tests wait for the callbacks of their
 * own key, each wait bounded.
 */
final class CallbackConsumer {
    /** Bound of every wait for a callback that should come. */
    static final long WAIT_SECONDS = 5;

    private static CallbackConsumer instance;

    private final BlockingQueue<PreferenceChangeCallback> received = new LinkedBlockingQueue<>();

    private CallbackConsumer() {
        Thread thread = new Thread(() -> {
            PreferenceChangeCallback callback;
            while ((callback = RegistryPreferencesJni.getJniCallbackData()) != null) {
                received.add(callback);
            }
        }, "krel-callbacks");
        thread.setDaemon(true);
        thread.start();
    }

    /** The consumer of this VM, started on first use. */
    static synchronized CallbackConsumer get() {
        if (instance == null) {
            instance = new CallbackConsumer();
        }
        return instance;
    }

    /**
     * The next callback of the key path within the wait bound, or null; callbacks of other keys
     * (left by earlier tests) are passed over.
     */
    PreferenceChangeCallback next(String path, long timeout, TimeUnit unit)
            throws InterruptedException {
        long deadline = System.nanoTime() + unit.toNanos(timeout);
        for (long left = deadline - System.nanoTime(); left > 0;
                left = deadline - System.nanoTime()) {
            PreferenceChangeCallback callback = received.poll(left, TimeUnit.NANOSECONDS);
            if (callback != null && callback.getPath().equals(path)) {
                return callback;
            }
        }
        return null;
    }

    /** The next callback of the key path, which must come within the wait bound. */
    PreferenceChangeCallback next(String path) throws InterruptedException {
        PreferenceChangeCallback callback = next(path, WAIT_SECONDS, TimeUnit.SECONDS);
        assertNotNull("no callback for <" + path + "> within " + WAIT_SECONDS + " s", callback);
        return callback;
    }

    /** Asserts that the next callback of the key path is for the value, with that text. */
    void expect(String path, String key, String newValue) throws InterruptedException {
        PreferenceChangeCallback callback = next(path);
        assertEquals(key, callback.getKey());
        assertEquals(newValue, callback.getNewValue());
    }
}
