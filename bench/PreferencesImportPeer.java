import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Arrays;
import java.util.prefs.BackingStoreException;
import java.util.prefs.InvalidPreferencesFormatException;
import java.util.prefs.Preferences;

/**
 * The JDK's own import of an XML preferences document into its file back end, flushed so the
 * document is on disk when the run ends: a warm-up, then the median of several timed runs, printed
 * as nanoseconds per import on a line of its own. The caller chooses where the tree lives with
 * -Djava.util.prefs.userRoot, so the start of the VM is never timed. Given another document, the
 * runs import the two in turn.
 *
 * <p>Usage: PreferencesImportPeer document runs [other]
 */
public final class PreferencesImportPeer {
    private static final int WARM_UP_RUNS = 3;

    private PreferencesImportPeer() {}

    public static void main(String[] arguments)
            throws IOException, InvalidPreferencesFormatException, BackingStoreException {
        final String[] documents =
                arguments.length > 2
                        ? new String[] {arguments[0], arguments[2]}
                        : new String[] {arguments[0]};
        final int runs = Integer.parseInt(arguments[1]);
        for (int run = 0; run < WARM_UP_RUNS; run++) {
            importAndFlush(documents[run % documents.length]);
        }
        final long[] times = new long[runs];
        for (int run = 0; run < runs; run++) {
            times[run] = importAndFlush(documents[(WARM_UP_RUNS + run) % documents.length]);
        }
        Arrays.sort(times);
        System.out.println(times[runs / 2]);
    }

    /** Nanoseconds for one import of the document and the flush of the tree it went into. */
    private static long importAndFlush(String document)
            throws IOException, InvalidPreferencesFormatException, BackingStoreException {
        final long start = System.nanoTime();
        try (InputStream in = new FileInputStream(document)) {
            Preferences.importPreferences(in);
        }
        Preferences.userRoot().flush();
        return System.nanoTime() - start;
    }
}
