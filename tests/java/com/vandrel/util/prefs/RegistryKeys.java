package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;
import static org.junit.Assert.assertSame;
import static org.junit.Assert.assertThrows;

import org.junit.Rule;
import org.junit.function.ThrowingRunnable;
import org.junit.rules.TestName;

/**
 * Gives each test a user key of its own, named after the test, and checks exceptions by their
 * exact class (the natives raise java.lang.Exception itself for a missing key or value).
 */
public abstract class RegistryKeys {
    @Rule public final TestName testName = new TestName();

    /** The test's own key below HKEY_CURRENT_USER; not created. */
    protected String testKey() {
        return "Software\\KrelJavaTests\\" + getClass().getSimpleName() + "\\"
                + testName.getMethodName();
    }

    /** Creates the test's key and answers its path. */
    protected String createdTestKey() {
        String key = testKey();
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key, null);
        return key;
    }

    /** The exception the call raises, which must be of exactly that class. */
    protected static <T extends Throwable> T thrownExactly(Class<T> type, ThrowingRunnable call) {
        T thrown = assertThrows(type, call);
        assertSame(type, thrown.getClass());
        return thrown;
    }
}
