package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.util.Arrays;
import java.util.concurrent.TimeUnit;
import org.junit.Test;

/** Starting and stopping the monitoring of a key. */
public class MonitoringTest extends RegistryKeys {
    private final CallbackConsumer consumer = CallbackConsumer.get();

    @Test
    public void monitoringAKeyTwiceGivesOneCallbackPerChange() throws Exception {
        String key = testKey();
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);
        try {
            RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "first", "1");
            RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "second", "2");
            consumer.expect(key, "first", "1");
            consumer.expect(key, "second", "2");
        } finally {
            RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, key);
        }
    }

    @Test
    public void afterStopNoCallbackArrives() throws Exception {
        String key = testKey();
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, key);
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "name", "text");
        assertNull(consumer.next(key, 1, TimeUnit.SECONDS));
    }

    @Test
    public void startCreatesAMissingKey() {
        String key = testKey();
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);
        try {
            int split = key.lastIndexOf('\\');
            assertTrue(Arrays.asList(RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER,
                    key.substring(0, split))).contains(key.substring(split + 1)));
        } finally {
            RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, key);
        }
    }

    @Test
    public void stopOnAnUnmonitoredKeyRaisesListenerValueIsNull() {
        IllegalArgumentException thrown = thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.stopMonitoringKey(HKEY_CURRENT_USER, testKey()));
        assertEquals("Listener value is NULL.", thrown.getMessage());
    }
}
