package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertEquals;

import org.junit.Test;

/** Library failures reach Java as exceptions of one fixed class each, with the wrapper's text. */
public class RegistryExceptionMappingTest extends RegistryKeys {
    private static final String NOT_FOUND = "Object not found: <2:The system cannot find the file"
            + " specified.>.";

    @Test
    public void missingValueRaisesExceptionWithTheWrappersMessage() {
        String key = createdTestKey();
        String expected = "Get registry key <missing> under path <" + key + ">. " + NOT_FOUND;
        Exception fromInt = thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "missing", 1));
        assertEquals(expected, fromInt.getMessage());
        Exception fromText = thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "missing"));
        assertEquals(expected, fromText.getMessage());
    }

    @Test
    public void missingParentKeyRaisesExceptionWithTheWrappersMessage() {
        String key = testKey();
        Exception thrown = thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "value", 1));
        assertEquals("Open registry key <" + key + "> " + NOT_FOUND, thrown.getMessage());
    }

    @Test
    public void deletingAMissingKeyRaisesException() {
        String key = testKey();
        Exception thrown = thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.deleteKey(HKEY_CURRENT_USER, key));
        assertEquals("Delete registry key <" + key + ">. " + NOT_FOUND, thrown.getMessage());
    }

    @Test
    public void textLongerThanTheWrappersBufferRaisesException() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "long", "x".repeat(259));
        Exception thrown = thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "long"));
        assertEquals("Get registry key <long> under path <" + key + ">. More data is available"
                        + " than can fit in buffer: <234:More data is available.>.",
                thrown.getMessage());
    }

    @Test
    public void rootZeroRaisesIllegalArgument() {
        IllegalArgumentException thrown = thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.setIntValue(0, testKey(), "value", 1));
        assertEquals("Registry handle is NULL.", thrown.getMessage());
    }

    @Test
    public void emptyParentKeyIsReportedBeforeTheKey() {
        IllegalArgumentException thrown = thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, "", "", 1));
        assertEquals("Parent key is empty.", thrown.getMessage());
    }

    @Test
    public void everyNativeRefusesAnEmptyKey() {
        String parent = createdTestKey();
        ThrowingCall[] calls = {
            () -> RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, parent, "", 1),
            () -> RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, parent, "", 1),
            () -> RegistryPreferencesJni.deleteValue(HKEY_CURRENT_USER, parent, ""),
            () -> RegistryPreferencesJni.deleteKey(HKEY_CURRENT_USER, ""),
            () -> RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, "", null),
            () -> RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, parent, "", "v"),
            () -> RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, parent, ""),
            () -> RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER, ""),
            () -> RegistryPreferencesJni.getKeysWithValue(HKEY_CURRENT_USER, ""),
        };
        for (ThrowingCall call : calls) {
            IllegalArgumentException thrown =
                    thrownExactly(IllegalArgumentException.class, call::run);
            assertEquals("Key is empty.", thrown.getMessage());
        }
    }

    @Test
    public void nullArgumentsReadAsEmpty() {
        IllegalArgumentException noParent = thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, null, null));
        assertEquals("Parent key is empty.", noParent.getMessage());
        IllegalArgumentException noKey = thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER, null));
        assertEquals("Key is empty.", noKey.getMessage());
    }

    /** One native call, as the table of empty-key calls holds them. */
    private interface ThrowingCall {
        void run();
    }
}
