package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/** The natives and the registry tool, another process, see each other's writes. */
public class RegistryToolExchangeTest extends RegistryKeys {
    @Test
    public void textWrittenByTheToolIsReadByTheNatives() throws Exception {
        String key = testKey();
        runTool("write", "HKCU\\" + key, "text", "REG_SZ", "caf\u00e9 \uD83D\uDE00");
        assertEquals("caf\u00e9 \uD83D\uDE00",
                RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "text"));
    }

    @Test
    public void numberWrittenByTheToolIsReadByTheNatives() throws Exception {
        String key = testKey();
        runTool("write", "HKCU\\" + key, "number", "REG_DWORD", "4294967295");
        assertEquals(-1, RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "number", 0));
    }

    @Test
    public void valuesWrittenByTheNativesAreReadByTheTool() throws Exception {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "text", "na\u00efve");
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "number", 42);
        assertEquals("na\u00efve\n", runTool("read", "HKCU\\" + key, "text"));
        assertEquals("42\n", runTool("read", "HKCU\\" + key, "number"));
    }

    /** Runs the registry tool with this VM's environment; its standard output. */
    private static String runTool(String... arguments) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>();
        command.add(System.getProperty("krel.admin"));
        command.addAll(Arrays.asList(arguments));
        Process tool = new ProcessBuilder(command).redirectErrorStream(true).start();
        byte[] output = tool.getInputStream().readAllBytes();
        if (!tool.waitFor(60, TimeUnit.SECONDS)) {
            tool.destroyForcibly();
            throw new AssertionError("the registry tool did not end");
        }
        String text = new String(output, StandardCharsets.UTF_8);
        assertEquals("exit status of " + command + ": " + text, 0, tool.exitValue());
        return text;
    }
}
