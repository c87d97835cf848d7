import com.vandrel.util.prefs.PreferenceChangeCallback;
import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * The Java half of the demo: a Java thread that monitors one registry key and prints each change
 * the library hands it, until the callback queue is terminated.
 */
public final class KrelDemoMonitor {
    private static final CountDownLatch printed = new CountDownLatch(3);
    private static Thread consumer;

    private KrelDemoMonitor() {}

    /** The version of the running Java VM. */
    public static String javaVersion() {
        return System.getProperty("java.vm.name") + " " + System.getProperty("java.version");
    }

    /** Monitors the key of HKEY_CURRENT_USER and starts the thread that prints its changes. */
    public static void start(String key) {
        RegistryPreferencesJni.startMonitoringKey(RegistryPreferencesJni.HKEY_CURRENT_USER, key);
        consumer = new Thread(() -> {
            PreferenceChangeCallback callback;
            while ((callback = RegistryPreferencesJni.getJniCallbackData()) != null) {
                System.out.println("  [Java thread] " + callback.getPath() + " : "
                        + callback.getKey() + " = \"" + callback.getNewValue() + "\"");
                System.out.flush();
                printed.countDown();
            }
            System.out.println("  [Java thread] the queue was terminated; the thread ends");
            System.out.flush();
        }, "demo-callbacks");
        consumer.start();
    }

    /** Whether three changes were printed within the time. */
    public static boolean awaitThreeChanges(long millis) throws InterruptedException {
        return printed.await(millis, TimeUnit.MILLISECONDS);
    }

    /** Stops monitoring, terminates the queue and answers whether the thread ended in time. */
    public static boolean terminate(String key, long millis) throws InterruptedException {
        RegistryPreferencesJni.stopMonitoringKey(RegistryPreferencesJni.HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.terminateJniCallback();
        consumer.join(millis);
        return !consumer.isAlive();
    }
}
