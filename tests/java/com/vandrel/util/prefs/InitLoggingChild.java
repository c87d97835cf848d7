package com.vandrel.util.prefs;

/**
 * Starts the library's log in a VM of its own, from the directory and log name it is given, and
 * tells on its standard output that initLogging returned without a Java exception.
 */
public final class InitLoggingChild {
    private InitLoggingChild() {}

    public static void main(String[] arguments) {
        RegistryPreferencesJni.initLogging(arguments[0], arguments[1]);
        System.out.println("returned");
    }
}
