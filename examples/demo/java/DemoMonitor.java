import com.vandrel.util.prefs.PreferenceChangeCallback;
import com.vandrel.util.prefs.RegistryPreferencesJni;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * The Java side of the demo's bridge: monitors one registry key and takes its changes on a Java
 * thread of its own, which pulls them from the library's callback queue until the queue is
 * terminated. The native demo drives it through these static methods and prints what it took.
 */
public final class DemoMonitor {
    private static final List<String> received = new ArrayList<>();
    private static Thread consumer;

    private DemoMonitor() {}

    /** Monitors the key and starts the thread that takes its changes. */
    public static synchronized void start(int root, String key) {
        RegistryPreferencesJni.startMonitoringKey(root, key);
        consumer = new Thread(DemoMonitor::takeCallbacks, "demo-callbacks");
        consumer.setDaemon(true);
        consumer.start();
    }

    /**
     * The texts of the changes taken so far, each with the thread that took it, once there are at
     * least {@code count} of them or {@code timeoutMillis} passed.
     */
    public static synchronized String[] awaitCallbacks(int count, long timeoutMillis)
            throws InterruptedException {
        final long deadline = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(timeoutMillis);
        long left;
        while (received.size() < count && (left = deadline - System.nanoTime()) > 0) {
            TimeUnit.NANOSECONDS.timedWait(DemoMonitor.class, left);
        }
        return received.toArray(new String[0]);
    }

    /**
     * Ends the monitoring, terminates the callback queue and waits up to {@code timeoutMillis}
     * for the thread to end; answers whether it did.
     */
    public static boolean stop(int root, String key, long timeoutMillis)
            throws InterruptedException {
        final Thread thread;
        synchronized (DemoMonitor.class) {
            thread = consumer;
        }
        try {
            RegistryPreferencesJni.stopMonitoringKey(root, key);
        } finally {
            RegistryPreferencesJni.terminateJniCallback();
        }
        if (thread != null) {
            thread.join(timeoutMillis);
        }
        return thread == null || !thread.isAlive();
    }

    // Takes changes until the queue answers null, its sign of termination.
    private static void takeCallbacks() {
        try {
            PreferenceChangeCallback callback;
            while ((callback = RegistryPreferencesJni.getJniCallbackData()) != null) {
                record(Thread.currentThread().getName() + " took " + callback);
            }
        } catch (RuntimeException e) {
            record(Thread.currentThread().getName() + " failed: " + e);
        }
    }

    private static synchronized void record(String text) {
        received.add(text);
        DemoMonitor.class.notifyAll();
    }
}
