package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;

import org.junit.Test;

/**
 * Run with the environment variable default.PreferencesFactory naming a class that is no
 * preferences factory (krel_std.Paths): monitoring has no tree to watch.
 */
public class MonitoringWithoutFactoryTest extends RegistryKeys {
    @Test
    public void startRaisesSecurityExceptionNamingTheFactory() {
        assertEquals("krel_std.Paths", System.getenv("default.PreferencesFactory"));
        SecurityException thrown = thrownExactly(SecurityException.class,
                () -> RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, testKey()));
        assertEquals("Unable to get PreferencesFactory named <krel_std.Paths>.",
                thrown.getMessage());
    }
}
