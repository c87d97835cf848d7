import com.vandrel.util.prefs.PreferenceChangeCallback;
import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.io.IOException;
import java.util.Arrays;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.prefs.Preferences;

/**
 * How long a registry change takes to reach a Java thread through the callback queue: 200
 * changes written in this process through the natives, and 200 written by the registry tool, each
 * timed from the write's start (for the tool, from the start of its process) to the callback's
 * arrival on the consumer thread. One change at a time, so each latency stands alone. Beside
 * them, the JDK's own java.util.prefs listener on its file back end, which hears only of changes
 * made in its own VM. A row that misses its goal ends in "missed", and the table ends with the
 * number of goals missed.
 */
public final class CallbackLatencyBench {
    private static final int HKEY_CURRENT_USER = RegistryPreferencesJni.HKEY_CURRENT_USER;
    private static final String KEY = "Software\\KrelBench\\Callbacks";
    private static final int CHANGES = 200;
    private static final int WARM_UP = 20;
    private static final long WAIT_SECONDS = 5;
    /** The bound on the 99th percentile of a change's latency through the natives. */
    private static final double GOAL_P99_MILLIS = 50;

    /** Goals missed so far. */
    private static int missed;

    private CallbackLatencyBench() {}

    /** A change arrived: its value text and the time it reached the consumer. */
    private record Arrival(String value, long nanos) {}

    /** Writes change number `index`. */
    private interface Writer {
        void write(int index) throws Exception;
    }

    public static void main(String[] arguments) throws Exception {
        String tool = arguments[0];
        BlockingQueue<Arrival> arrivals = new LinkedBlockingQueue<>();
        Thread consumer = new Thread(() -> {
            PreferenceChangeCallback callback;
            while ((callback = RegistryPreferencesJni.getJniCallbackData()) != null) {
                arrivals.add(new Arrival(callback.getNewValue(), System.nanoTime()));
            }
        }, "callback-consumer");
        consumer.start();
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, KEY);

        System.out.println("path                               p50 ms   p99 ms   max ms  goal");
        report("jni callback in-process/krel", GOAL_P99_MILLIS, measure(arrivals, index
                -> RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, KEY, "Value", "v" + index)));
        report("jni callback other process/krel", GOAL_P99_MILLIS,
                measure(arrivals, index -> runTool(tool, "v" + index)));

        RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, KEY);
        RegistryPreferencesJni.terminateJniCallback();
        consumer.join();

        BlockingQueue<Arrival> peerArrivals = new LinkedBlockingQueue<>();
        Preferences node = Preferences.userRoot().node("krelbench/callbacks");
        node.addPreferenceChangeListener(
                event -> peerArrivals.add(new Arrival(event.getNewValue(), System.nanoTime())));
        report("jni callback in-process/peer", Double.NaN,
                measure(peerArrivals, index -> node.put("Value", "v" + index)));
        System.out.println("jni callback other process/peer   never reported (readable after the"
                + " next periodic sync, 30 s by default)");
        node.removeNode();
        System.out.println(missed == 0 ? "every goal met" : missed + " goal(s) missed");
    }

    /** Latencies in nanoseconds of CHANGES changes, after a warm-up. */
    private static long[] measure(BlockingQueue<Arrival> arrivals, Writer writer) throws Exception {
        long[] latencies = new long[CHANGES];
        for (int index = -WARM_UP; index < CHANGES; ++index) {
            long start = System.nanoTime();
            writer.write(index);
            long arrived = awaitValue(arrivals, "v" + index);
            if (index >= 0) {
                latencies[index] = arrived - start;
            }
        }
        Arrays.sort(latencies);
        return latencies;
    }

    /** The arrival time of the change with the value text; fails after the wait bound. */
    private static long awaitValue(BlockingQueue<Arrival> arrivals, String value)
            throws InterruptedException {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(WAIT_SECONDS);
        for (long left = deadline - System.nanoTime(); left > 0;
                left = deadline - System.nanoTime()) {
            Arrival arrival = arrivals.poll(left, TimeUnit.NANOSECONDS);
            if (arrival != null && arrival.value().equals(value)) {
                return arrival.nanos();
            }
        }
        throw new IllegalStateException("change <" + value + "> did not arrive within "
                + WAIT_SECONDS + " s");
    }

    private static void runTool(String tool, String value)
            throws IOException, InterruptedException {
        Process process = new ProcessBuilder(tool, "write", "HKCU\\" + KEY, "Value", "REG_SZ", value)
                .redirectErrorStream(true).redirectOutput(ProcessBuilder.Redirect.DISCARD).start();
        if (!process.waitFor(60, TimeUnit.SECONDS) || process.exitValue() != 0) {
            process.destroyForcibly();
            throw new IllegalStateException("the registry tool failed");
        }
    }

    /** Prints the percentiles; a bound that is a number is the goal on the 99th percentile. */
    private static void report(String path, double p99BoundMillis, long[] sorted) {
        double p99 = millis(sorted, 99);
        boolean hasGoal = !Double.isNaN(p99BoundMillis);
        boolean met = !hasGoal || p99 <= p99BoundMillis;
        missed += met ? 0 : 1;
        System.out.printf("%-32s %8.2f %8.2f %8.2f  %s%s%n", path, millis(sorted, 50), p99,
                sorted[sorted.length - 1] / 1e6,
                hasGoal ? String.format("p99<=%.0f", p99BoundMillis) : "", met ? "" : " missed");
    }

    /** The percentile of the sorted latencies, in milliseconds. */
    private static double millis(long[] sorted, int percentile) {
        int index = (int) Math.ceil(percentile / 100.0 * sorted.length) - 1;
        return sorted[Math.max(0, index)] / 1e6;
    }
}
