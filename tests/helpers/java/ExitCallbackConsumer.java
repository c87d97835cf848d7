import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * The Java side of the exit helper: a Java thread that takes the callbacks of a monitored user key
 * until the callback queue is shut down, which the library's unload hook does at process exit.
 */
public final class ExitCallbackConsumer {
    private static final CountDownLatch firstCallback = new CountDownLatch(1);

    private ExitCallbackConsumer() {}

    /** Monitors the key below HKEY_CURRENT_USER and starts the consumer thread. */
    public static void start(String key) {
        RegistryPreferencesJni.startMonitoringKey(RegistryPreferencesJni.HKEY_CURRENT_USER, key);
        Thread consumer = new Thread(() -> {
            while (RegistryPreferencesJni.getJniCallbackData() != null) {
                firstCallback.countDown();
            }
        }, "callback consumer");
        consumer.start();
    }

    /** Whether the consumer has taken a callback, waiting at most the seconds for the first. */
    public static boolean awaitFirstCallback(long seconds) throws InterruptedException {
        return firstCallback.await(seconds, TimeUnit.SECONDS);
    }
}
