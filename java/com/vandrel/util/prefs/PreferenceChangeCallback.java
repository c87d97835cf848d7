package com.vandrel.util.prefs;

/** One change of a monitored registry key's value, as getJniCallbackData hands it over. */
public final class PreferenceChangeCallback {
    private final int root;
    private final String path;
    private final String key;
    private final String newValue;

    /**
     * @param root the root of the changed key, as the registry natives name roots
     * @param path the key's path below the root, with backslashes
     * @param key the name of the changed value
     * @param newValue the value's new text
     */
    public PreferenceChangeCallback(int root, String path, String key, String newValue) {
        this.root = root;
        this.path = path;
        this.key = key;
        this.newValue = newValue;
    }

    public int getRoot() {
        return root;
    }

    public String getPath() {
        return path;
    }

    public String getKey() {
        return key;
    }

    public String getNewValue() {
        return newValue;
    }

    @Override
    public String toString() {
        return "PreferenceChangeCallback{root=" + root + ",path='" + path + "',key='" + key
                + "',newValue='" + newValue + "'}";
    }
}
