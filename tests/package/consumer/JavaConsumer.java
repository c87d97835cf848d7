import com.vandrel.util.prefs.RegistryPreferencesJni;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * A Java program built against the installed KrelStd.jar, as a user of the jar would build it:
 * writes its argument as a registry value through the natives, reads it back and prints it, with
 * the path of the native library the VM loaded.
 */
public final class JavaConsumer {
    private static final String KEY = "Software\\KrelPackageTest\\Java";

    private JavaConsumer() {}

    public static void main(String[] arguments) throws IOException {
        int root = RegistryPreferencesJni.HKEY_CURRENT_USER;
        RegistryPreferencesJni.createKey(root, KEY, null);
        RegistryPreferencesJni.setStrValue(root, KEY, "written", arguments[0]);
        System.out.println("value " + RegistryPreferencesJni.getStrValue(root, KEY, "written"));
        System.out.println("library " + loadedLibrary());
    }

    /** The file of the mapped libKrelStd, as this process's memory map names it. */
    private static String loadedLibrary() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/maps"))) {
            int start = line.indexOf('/');
            if (start >= 0 && line.contains("/libKrelStd.so")) {
                return line.substring(start);
            }
        }
        return "none";
    }
}
