package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertThrows;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import org.junit.Test;

/**
 * initLogging starts this VM's static log from a configuration file; the log can start only
 * once per process, so this class holds the one test that starts it.
 */
public class InitLoggingTest extends RegistryKeys {
    @Test
    public void logStartsFromTheNamedConfigurationAndTracesTheNatives() throws IOException {
        Path base = Files.createTempDirectory("initlogging");
        Path config = Files.createDirectories(base.resolve("config"));
        Path logs = Files.createDirectories(base.resolve("log"));
        Files.writeString(config.resolve("JavaLog.cfg"), "[Debug Log]\nThreshold=CALL\n"
                + "[Log Appenders]\n"
                + "appender.r.class=krel_std.RollingFileAppender\n"
                + "appender.r.filter=krel_std.DebugFileFilter\n"
                + "appender.r.layout=krel_std.KrelLogLayout\n"
                + "appender.r.path=" + logs.resolve("JavaLog.log") + "\n");

        RegistryPreferencesJni.initLogging(config.toString(), "JavaLog");
        String key = createdTestKey();
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "traced", 5);

        assertThrows(Exception.class,
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "missing", 0));

        String log = readLogs(logs);
        assertTrue(log, log.contains("Root <-2147483647> Parent key <" + key
                        + "> Key <traced> Value <5>."));
        // The mapped exception is traced inside the native's scope, before its end.
        int thrown = log.indexOf("RegistryPreferencesJni.cpp Exception thrown.");
        assertTrue(log, thrown > 0);
        assertEquals(log.indexOf("RegistryPreferencesJni.cpp End.", thrown),
                log.indexOf("RegistryPreferencesJni.cpp", thrown + 1));
    }

    @Test
    public void refusedConfigurationPathIsReportedOnStandardOutputOnly() throws Exception {
        ChildRun child = runChild("bad|directory", "JavaLog");
        assertEquals("Unable to initialize logging: Path contains invalid characters.\n"
                + "returned\n", child.output);
        assertEquals(0, child.exitCode);
    }

    /** Every log file's text, in name order. */
    private static String readLogs(Path directory) throws IOException {
        StringBuilder text = new StringBuilder();
        try (Stream<Path> files = Files.list(directory)) {
            for (Path file : (Iterable<Path>) files.sorted()::iterator) {
                text.append(new String(Files.readAllBytes(file), StandardCharsets.ISO_8859_1));
            }
        }
        return text.toString();
    }

    private static final class ChildRun {
        String output;
        int exitCode;
    }

    /** Runs InitLoggingChild in a VM of its own; its standard output and exit code. */
    private static ChildRun runChild(String configPath, String logName) throws Exception {
        Path errors = Files.createTempFile("child", ".err");
        Process process = new ProcessBuilder(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"), "-cp",
                System.getProperty("java.class.path"), InitLoggingChild.class.getName(),
                configPath, logName)
                .redirectError(errors.toFile()).start();
        ChildRun run = new ChildRun();
        run.output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        if (!process.waitFor(60, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw new AssertionError("the child VM did not end");
        }
        run.exitCode = process.exitValue();
        String errorText = Files.readString(errors);
        assertTrue(errorText, !errorText.contains("in native method")
                && !errorText.contains("JNI local refs"));
        return run;
    }
}
