package com.vandrel.util.prefs;

/**
 * The registry natives of the KrelStd library.
 *
 * <p>A root is the predefined registry root's handle value: {@link #HKEY_CURRENT_USER} or
 * {@link #HKEY_LOCAL_MACHINE}. Key paths are relative to the root and use backslashes. A library
 * failure arrives as a Java exception: a missing key or value as the checked
 * {@code java.lang.Exception} (undeclared here), access denied as {@code SecurityException}, an
 * invalid argument as {@code IllegalArgumentException}, any other failure as
 * {@code RuntimeException}. A method that fails still answers: the default value, an empty
 * string or an empty array, never null. A null string argument counts as an empty one.
 */
public final class RegistryPreferencesJni {
    /** The root of the current user's keys. */
    public static final int HKEY_CURRENT_USER = 0x80000001;
    /** The root of the machine's keys. */
    public static final int HKEY_LOCAL_MACHINE = 0x80000002;

    static {
        System.loadLibrary("KrelStd");
    }

    private RegistryPreferencesJni() {}

    /** Writes {@code key} below {@code parentKey} as a 32-bit integer value. */
    public static native void setIntValue(int root, String parentKey, String key, int value);

    /**
     * Reads {@code key} below {@code parentKey} as an integer; {@code defaultValue} when the stored
     * text holds no number, or when an exception is raised.
     */
    public static native int getIntValue(int root, String parentKey, String key, int defaultValue);

    /** Deletes the value {@code key} below {@code parentKey}. */
    public static native void deleteValue(int root, String parentKey, String key);

    /** Deletes the key with everything below it. */
    public static native void deleteKey(int root, String key);

    /**
     * Creates the key (with every missing key on its way) or opens it, and stores into
     * {@code existed} whether it was there before. After a failure {@code existed} keeps its value.
     */
    public static native void createKey(int root, String key, Boolean existed);

    /** Writes {@code key} below {@code parentKey} as a text value; the text may be empty. */
    public static native void setStrValue(int root, String parentKey, String key, String value);

    /** Reads {@code key} below {@code parentKey} as text; "" when an exception is raised. */
    public static native String getStrValue(int root, String parentKey, String key);

    /** The names of the key's subkeys; an empty array when an exception is raised. */
    public static native String[] getKeys(int root, String key);

    /**
     * The names of the key's values that hold data; an empty array when an exception is raised.
     */
    public static native String[] getKeysWithValue(int root, String key);

    /**
     * Starts the library's log from {@code <configPath>/<logName>.cfg}. A failure is printed to
     * the process's standard output and never raised.
     */
    public static native void initLogging(String configPath, String logName);

    /** Starts turning changes of the key's values into callbacks. */
    public static native void startMonitoringKey(int root, String key);

    /** Ends the monitoring of the key. */
    public static native void stopMonitoringKey(int root, String key);

    /**
     * Blocks until the next change of a monitored key and answers it; null once the callback
     * queue is shut down.
     */
    public static native PreferenceChangeCallback getJniCallbackData();

    /** Shuts the callback queue down, waking the thread blocked in getJniCallbackData. */
    public static native void terminateJniCallback();
}
