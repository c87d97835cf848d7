import com.vandrel.util.WindowsConsoleJni;
import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.util.Arrays;
import java.util.prefs.BackingStoreException;
import java.util.prefs.Preferences;

/**
 * The cost of one call of the natives, as a Java program sees it: a warm-up, then the median of
 * several timed runs, in nanoseconds per call. Beside them, the JDK's own preferences read
 * (java.util.prefs on its file back end), which a Java program would use instead.
 */
public final class JniBench {
    private static final int HKEY_CURRENT_USER = RegistryPreferencesJni.HKEY_CURRENT_USER;
    private static final String KEY = "Software\\KrelBench\\Jni";
    private static final int RUNS = 15;

    /** Keeps the results alive, so the calls cannot be left out. */
    private static volatile int sink;

    private JniBench() {}

    /** One call of the path being measured; answers something that depends on the call. */
    private interface Call {
        int run();
    }

    public static void main(String[] arguments) throws BackingStoreException {
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, KEY, null);
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, KEY, "Value", 42);
        WindowsConsoleJni.setConsoleTitle("KrelStd JNI benchmark");
        Preferences prefs = Preferences.userRoot().node("krelbench/jni");
        prefs.putInt("Value", 42);
        prefs.flush();

        System.out.println("path                          ns/call  goal");
        // An empty title is refused right after its conversion: the round trip alone.
        report("jni round trip/krel", "<=1000", () -> WindowsConsoleJni.setConsoleTitle(""),
                20000);
        report("jni getConsoleTitle/krel", "<=1000",
                () -> WindowsConsoleJni.getConsoleTitle().length(), 20000);
        report("jni getIntValue/krel", "<=registry read/krel+1000",
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, KEY, "Value", 0),
                20000);
        report("jni getIntValue/peer", "", () -> prefs.getInt("Value", 0), 20000);
    }

    private static void report(String path, String goal, Call call, int callsPerRun) {
        for (int warmUp = 0; warmUp < 5; warmUp++) {
            time(call, callsPerRun);
        }
        double[] runs = new double[RUNS];
        for (int run = 0; run < RUNS; run++) {
            runs[run] = time(call, callsPerRun);
        }
        Arrays.sort(runs);
        System.out.printf("%-28s %9.0f  %s%n", path, runs[RUNS / 2], goal);
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
