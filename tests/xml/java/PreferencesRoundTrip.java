// Imports an XML preferences document into the standard Java preferences and exports the
// user tree again: PreferencesRoundTrip <input document> <output document>.
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.util.prefs.Preferences;

public final class PreferencesRoundTrip {
    public static void main(String[] arguments) throws Exception {
        try (InputStream in = new FileInputStream(arguments[0])) {
            Preferences.importPreferences(in);
        }
        try (OutputStream out = new FileOutputStream(arguments[1])) {
            Preferences.userRoot().exportSubtree(out);
        }
    }
}
