package com.vandrel.util;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

/** The console natives in a VM that has no controlling terminal. */
public class ConsoleWithoutTerminalTest {
    @Test
    public void settingTheTitleAnswersMinusOne() {
        assertEquals(-1, WindowsConsoleJni.setConsoleTitle("no terminal"));
    }

    @Test
    public void readingTheTitleAnswersEmptyText() {
        assertEquals("", WindowsConsoleJni.getConsoleTitle());
    }
}
