package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_LOCAL_MACHINE;
import static org.junit.Assert.assertEquals;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.After;
import org.junit.Test;

/** Changes of a monitored key reach the Java thread that pulls callbacks. */
public class MonitoringCallbacksTest extends RegistryKeys {
    private final CallbackConsumer consumer = CallbackConsumer.get();
    private final List<Monitored> monitored = new ArrayList<>();

    private record Monitored(int root, String key) {}

    /** Each test's keys stop being watched: a process watches at most 62 keys at a time. */
    @After
    public void stopMonitoring() {
        for (Monitored entry : monitored) {
            RegistryPreferencesJni.stopMonitoringKey(entry.root(), entry.key());
        }
    }

    private String monitor(int root, String key) {
        RegistryPreferencesJni.startMonitoringKey(root, key);
        monitored.add(new Monitored(root, key));
        return key;
    }

    @Test
    public void userKeyChangeGivesUserRootBackslashedPathNameAndText() throws Exception {
        String key = monitor(HKEY_CURRENT_USER, testKey());
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "name", "caf\u00e9 \uD83D\uDE00");
        PreferenceChangeCallback callback = consumer.next(key);
        assertEquals(-2147483647, callback.getRoot());
        assertEquals(key, callback.getPath());
        assertEquals("name", callback.getKey());
        assertEquals("caf\u00e9 \uD83D\uDE00", callback.getNewValue());
    }

    @Test
    public void deletedValueGivesEmptyNewValue() throws Exception {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "name", "text");
        monitor(HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.deleteValue(HKEY_CURRENT_USER, key, "name");
        consumer.expect(key, "name", "");
    }

    @Test
    public void systemKeyGivesSystemRoot() throws Exception {
        String key = monitor(HKEY_LOCAL_MACHINE, testKey());
        RegistryPreferencesJni.setStrValue(HKEY_LOCAL_MACHINE, key, "name", "text");
        PreferenceChangeCallback callback = consumer.next(key);
        assertEquals(-2147483646, callback.getRoot());
        assertEquals("text", callback.getNewValue());
    }

    @Test
    public void changeWrittenByTheRegistryToolArrives() throws Exception {
        String key = monitor(HKEY_CURRENT_USER, testKey());
        runTool("write", "HKCU\\" + key, "name", "REG_SZ", "from the tool");
        consumer.expect(key, "name", "from the tool");
    }

    @Test
    public void tenValuesSetInABurstAllArriveInOrder() throws Exception {
        String key = monitor(HKEY_CURRENT_USER, testKey());
        for (int i = 0; i < 10; ++i) {
            RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "value" + i, "text" + i);
        }
        for (int i = 0; i < 10; ++i) {
            consumer.expect(key, "value" + i, "text" + i);
        }
    }

    /** Runs the registry tool, another process, with this VM's environment. */
    private static void runTool(String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>();
        command.add(System.getProperty("krel.admin"));
        command.addAll(List.of(arguments));
        Process tool = new ProcessBuilder(command).redirectErrorStream(true).start();
        byte[] output = tool.getInputStream().readAllBytes();
        if (!tool.waitFor(60, TimeUnit.SECONDS)) {
            tool.destroyForcibly();
            throw new AssertionError("the registry tool did not end");
        }
        assertEquals("exit status of " + command + ": " + new String(output, StandardCharsets.UTF_8),
                0, tool.exitValue());
    }
}
