package com.vandrel.util.prefs;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TestName;

/**
 * A VM ends while a Java thread waits in getJniCallbackData: the library's unload hook runs at
 * process exit with that thread still inside the native, and the process must end with the VM's
 * exit code. Each case runs CallbackConsumerExitChild in a VM of its own.
 */
public class CallbackConsumerExitTest {
    private static final long LIMIT_SECONDS = 45;

    @Rule public final TestName testName = new TestName();

    @Test
    public void systemExitWithTheConsumerWaitingEndsTheProcessWithZero() throws Exception {
        ChildRun child = runChild("exit");
        assertChildReport(child.output);
        assertEquals(0, child.exitCode);
    }

    @Test
    public void returningFromMainWithADaemonConsumerWaitingEndsTheProcessWithZero()
            throws Exception {
        ChildRun child = runChild("return");
        assertChildReport(child.output);
        assertEquals(0, child.exitCode);
    }

    /**
     * The child took the change and saw its consumer wait in the native before it ended. The JNI
     * checks may print warnings of their own on standard output too, from native code, so the
     * child's lines can land in the middle of one of theirs: they are looked for as texts, once
     * each and in order, not as whole lines.
     */
    private static void assertChildReport(String output) {
        List<String> report = REPORT_LINE.matcher(output).results()
                .map(match -> match.group())
                .collect(Collectors.toList());
        assertEquals(output, List.of("taken change=1", "consumer waits"), report);
    }

    private static final Pattern REPORT_LINE = Pattern.compile("(taken|consumer) [^\\r\\n]*");

    private static final class ChildRun {
        String output;
        int exitCode;
    }

    /**
     * Runs the child in the mode, with a key of the test's own; its standard output and exit
     * code. A child that has not ended after LIMIT_SECONDS is killed and fails the test, and so
     * does a complaint of the JNI checks on either stream.
     */
    private ChildRun runChild(String mode) throws Exception {
        String key = "Software\\KrelJavaTests\\" + getClass().getSimpleName() + "\\"
                + testName.getMethodName();
        Path output = Files.createTempFile("child", ".out");
        Path errors = Files.createTempFile("child", ".err");
        Process process = new ProcessBuilder(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"), "-cp",
                System.getProperty("java.class.path"), CallbackConsumerExitChild.class.getName(),
                mode, key)
                .redirectOutput(output.toFile()).redirectError(errors.toFile()).start();
        process.getOutputStream().close();
        boolean ended = process.waitFor(LIMIT_SECONDS, TimeUnit.SECONDS);
        if (!ended) {
            process.destroyForcibly().waitFor();
        }
        ChildRun run = new ChildRun();
        run.output = Files.readString(output, StandardCharsets.UTF_8);
        String both = run.output + Files.readString(errors, StandardCharsets.UTF_8);
        if (!ended) {
            throw new AssertionError("the child VM did not end: " + both);
        }
        run.exitCode = process.exitValue();
        assertFalse(both, both.contains("in native method") || both.contains("JNI local refs"));
        return run;
    }
}
