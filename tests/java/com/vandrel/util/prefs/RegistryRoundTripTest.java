package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import org.junit.Test;

/** Values and keys written by the natives and read back by them. */
public class RegistryRoundTripTest extends RegistryKeys {
    @Test
    public void textOutsideTheBasicPlaneRoundTrips() {
        String key = createdTestKey();
        String text = "h\u00e9 \uD83D\uDE00 \u4e2d";
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "text", text);
        assertEquals(text, RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "text"));
    }

    @Test
    public void emptyTextRoundTrips() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "empty", "");
        assertEquals("", RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "empty"));
    }

    @Test
    public void nullValueIsStoredAsEmptyText() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "value", null);
        assertEquals("", RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "value"));
    }

    @Test
    public void longestReadableTextRoundTrips() {
        String key = createdTestKey();
        String text = "x".repeat(258);
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "long", text);
        assertEquals(text, RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "long"));
    }

    @Test
    public void integersRoundTripWithTheirSign() {
        String key = createdTestKey();
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "low", Integer.MIN_VALUE);
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "high", Integer.MAX_VALUE);
        assertEquals(Integer.MIN_VALUE,
                RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "low", 0));
        assertEquals(Integer.MAX_VALUE,
                RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "high", 0));
        assertEquals("-2147483648",
                RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key, "low"));
    }

    @Test
    public void textStartingWithANumberReadsAsThatNumber() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "number", "42abc");
        assertEquals(42, RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "number", 7));
    }

    @Test
    public void textWithoutANumberReadsAsTheDefaultWithoutException() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "word", "x");
        assertEquals(7, RegistryPreferencesJni.getIntValue(HKEY_CURRENT_USER, key, "word", 7));
    }

    @Test
    public void deletedValueIsGone() {
        String key = createdTestKey();
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "gone", 1);
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "kept", 2);
        RegistryPreferencesJni.deleteValue(HKEY_CURRENT_USER, key, "gone");
        assertArrayEquals(new String[] {"kept"},
                RegistryPreferencesJni.getKeysWithValue(HKEY_CURRENT_USER, key));
    }

    @Test
    public void keysWithValueSkipEmptyValuesAndKeepCreationOrder() {
        String key = createdTestKey();
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "zeta", "z");
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "empty", "");
        RegistryPreferencesJni.setIntValue(HKEY_CURRENT_USER, key, "alpha", 0);
        assertArrayEquals(new String[] {"zeta", "alpha"},
                RegistryPreferencesJni.getKeysWithValue(HKEY_CURRENT_USER, key));
    }

    @Test
    public void keysListSubkeysInCaseInsensitiveOrder() {
        String key = createdTestKey();
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key + "\\beta", null);
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key + "\\Alpha\\deeper", null);
        assertArrayEquals(new String[] {"Alpha", "beta"},
                RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER, key));
    }

    @Test
    public void keyWithoutSubkeysListsNone() {
        String key = createdTestKey();
        assertArrayEquals(new String[0], RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER, key));
    }

    @Test
    public void deleteKeyRemovesTheWholeSubtree() {
        String key = createdTestKey();
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key + "\\a\\b", null);
        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key + "\\a\\b", "v", "deep");
        RegistryPreferencesJni.deleteKey(HKEY_CURRENT_USER, key + "\\a");
        assertArrayEquals(new String[0], RegistryPreferencesJni.getKeys(HKEY_CURRENT_USER, key));
        thrownExactly(Exception.class,
                () -> RegistryPreferencesJni.getStrValue(HKEY_CURRENT_USER, key + "\\a\\b", "v"));
    }

    @Test
    @SuppressWarnings("removal")
    public void createKeyStoresFalseForANewKeyThenTrueForAnExistingOne() {
        Boolean existed = new Boolean(true);
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, testKey(), existed);
        assertFalse(existed.booleanValue());
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, testKey(), existed);
        assertTrue(existed.booleanValue());
    }

    @Test
    @SuppressWarnings("removal")
    public void createKeyLeavesTheBooleanAsItWasAfterAFailure() {
        Boolean existed = new Boolean(true);
        thrownExactly(IllegalArgumentException.class,
                () -> RegistryPreferencesJni.createKey(0, testKey(), existed));
        assertTrue(existed.booleanValue());
    }

    @Test
    public void createKeyNeverChangesTheSharedBooleanFalse() {
        String key = createdTestKey();
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key, Boolean.FALSE);
        assertFalse(Boolean.FALSE.booleanValue());
        Boolean autoboxed = false;
        assertFalse(autoboxed.booleanValue());
    }
}
