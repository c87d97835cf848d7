package com.vandrel.util;

/** The console title natives of the KrelStd library. */
public final class WindowsConsoleJni {
    static {
        System.loadLibrary("KrelStd");
    }

    private WindowsConsoleJni() {}

    /**
     * Sets the title of the process's console (its controlling terminal). Control characters are
     * left out. Answers a positive number, or -1 for an empty title or a process without a
     * console.
     */
    public static native int setConsoleTitle(String title);

    /** The title last set by this process; "" before the first one or without a console. */
    public static native String getConsoleTitle();
}
