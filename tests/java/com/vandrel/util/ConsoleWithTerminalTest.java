package com.vandrel.util;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

/** The console title of a VM whose controlling terminal is a pseudo-terminal of its own. */
public class ConsoleWithTerminalTest {
    @Test
    public void titleIsSetAndReadBack() {
        String title = "Krel \u00e9 \uD83D\uDE00";
        assertEquals(1, WindowsConsoleJni.setConsoleTitle(title));
        assertEquals(title, WindowsConsoleJni.getConsoleTitle());
    }

    @Test
    public void emptyTitleAnswersMinusOneAndKeepsTheTitle() {
        assertEquals(1, WindowsConsoleJni.setConsoleTitle("kept"));
        assertEquals(-1, WindowsConsoleJni.setConsoleTitle(""));
        assertEquals(-1, WindowsConsoleJni.setConsoleTitle(null));
        assertEquals("kept", WindowsConsoleJni.getConsoleTitle());
    }

    @Test
    public void controlCharactersAreLeftOutOfTheTitle() {
        assertEquals(1, WindowsConsoleJni.setConsoleTitle("a\u001b]b\u0007c\u009b"));
        assertEquals("a]bc", WindowsConsoleJni.getConsoleTitle());
    }

    @Test
    public void readingAnswersAtMost255Characters() {
        String title = "0123456789".repeat(30);
        assertEquals(1, WindowsConsoleJni.setConsoleTitle(title));
        assertEquals(title.substring(0, 255), WindowsConsoleJni.getConsoleTitle());
    }
}
