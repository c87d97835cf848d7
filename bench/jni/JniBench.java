import com.vandrel.util.WindowsConsoleJni;
import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.util.Arrays;
import java.util.prefs.BackingStoreException;
import java.util.prefs.Preferences;

/**
 * The cost of one call of the natives, as a Java program sees it: a warm-up, then the median of
 * several timed runs, in nanoseconds per call. Beside them, the JDK's own preferences read
 * (java.util.prefs on its file back end), which a Java program would use instead.
 *
 * <p>The one argument is the time in nanoseconds of "registry read/krel" (RegistryBench), on which
 * the goal of an integer read through the natives builds. A row that misses its goal ends in
 * "missed", and the table ends with the number of goals missed.
 */
public final class JniBench {
    private static final int HKEY_CURRENT_USER = RegistryPreferencesJni.HKEY_CURRENT_USER;
    private static final String KEY = "Software\\KrelBench\\Jni";
    private static final int RUNS = 15;

    /** Keeps the results alive, so the calls cannot be left out. */
    private static volatile int sink;

    /** Goals missed so far. */
    private static int missed;

    private JniBench() {}

    /** One call of the path being measured; answers something that depends on the call. */
    private interface Call {
        int run();
    }

    public static void main(String[] arguments) throws BackingStoreException {
        double registryReadNanos = Double.parseDouble(arguments[0]);
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, KEY, null);
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, KEY, "Value", 42);
        WindowsConsoleJni.setConsoleTitle("KrelStd JNI benchmark");
        Preferences prefs = Preferences.userRoot().node("krelbench/jni");
        prefs.putInt("Value", 42);
        prefs.flush();

        System.out.println("path                          ns/call  goal");
        // An empty title is refused right after its conversion: the round trip alone.
        report("jni round trip/krel", 1000, "<=1000", () -> WindowsConsoleJni.setConsoleTitle(""),
                20000);
        report("jni getConsoleTitle/krel", 1000, "<=1000",
                () -> WindowsConsoleJni.getConsoleTitle().length(), 20000);
        report("jni getIntValue/krel", registryReadNanos + 1000,
                String.format("<=registry read/krel+1000 (%.0f)", registryReadNanos + 1000),
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, KEY, "Value", 0),
                20000);
        report("jni getIntValue/peer", Double.NaN, "",
                () -> prefs.getInt("Value", 0), 20000);
        System.out.println(missed == 0 ? "every goal met" : missed + " goal(s) missed");
    }

    /** Prints the median time per call; a bound that is a number is the goal on it. */
    private static void report(String path, double bound, String goal, Call call,
            int callsPerRun) {
        for (int warmUp = 0; warmUp < 5; warmUp++) {
            time(call, callsPerRun);
        }
        double[] runs = new double[RUNS];
        for (int run = 0; run < RUNS; run++) {
            runs[run] = time(call, callsPerRun);
        }
        Arrays.sort(runs);
        double median = runs[RUNS / 2];
        boolean met = Double.isNaN(bound) || median <= bound;
        missed += met ? 0 : 1;
        System.out.printf("%-28s %9.0f  %s%s%n", path, median, goal, met ? "" : " missed");
    }

    /** Nanoseconds per call over one run. */
    private static double time(Call call, int calls) {
        int result = 0;
        long start = System.nanoTime();
        for (int index = 0; index < calls; index++) {
            result += call.run();
        }
        long elapsed = System.nanoTime() - start;
        sink = result;
        return (double) elapsed / calls;
    }
}
