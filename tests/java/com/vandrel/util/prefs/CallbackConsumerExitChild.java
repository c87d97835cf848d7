package com.vandrel.util.prefs;

import static com.vandrel.util.prefs.RegistryPreferencesJni.HKEY_CURRENT_USER;

import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * Ends a VM whose consumer thread waits in getJniCallbackData: the consumer takes one change of a
 * monitored key, and once it waits in the native again the VM ends, by System.exit with the
 * consumer an ordinary thread ("exit") or by returning from main with the consumer a daemon
 * thread ("return"). Prints what it saw on the way; the exit code is the VM's.
 *
 * <p>Arguments: exit|return, the key below HKEY_CURRENT_USER.
 */
public final class CallbackConsumerExitChild {
    private static final long LIMIT_SECONDS = 20;

    private CallbackConsumerExitChild() {}

    public static void main(String[] arguments) throws InterruptedException {
        boolean byExit = arguments[0].equals("exit");
        String key = arguments[1];
        RegistryPreferencesJni.createKey(HKEY_CURRENT_USER, key, null);
        RegistryPreferencesJni.startMonitoringKey(HKEY_CURRENT_USER, key);

        BlockingQueue<PreferenceChangeCallback> taken = new LinkedBlockingQueue<>();
        Thread consumer = new Thread(() -> {
            PreferenceChangeCallback callback;
            while ((callback = RegistryPreferencesJni.getJniCallbackData()) != null) {
                taken.add(callback);
            }
        }, "callback consumer");
        consumer.setDaemon(!byExit);
        consumer.start();

        RegistryPreferencesJni.setStrValue(HKEY_CURRENT_USER, key, "change", "1");
        PreferenceChangeCallback first = taken.poll(LIMIT_SECONDS, TimeUnit.SECONDS);
        System.out.println("taken " + (first == null ? "nothing" : first.getKey() + "="
                + first.getNewValue()));
        System.out.println(waitsInNative(consumer) ? "consumer waits" : "consumer does not wait");
        System.out.flush();
        if (byExit) {
            System.exit(0);
        }
    }

    /** Whether the thread is inside getJniCallbackData, waiting at most LIMIT_SECONDS for it. */
    private static boolean waitsInNative(Thread thread) {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(LIMIT_SECONDS);
        while (System.nanoTime() < deadline) {
            StackTraceElement[] frames = thread.getStackTrace();
            if (frames.length > 0 && frames[0].isNativeMethod()
                    && frames[0].getMethodName().equals("getJniCallbackData")) {
                return true;
            }
            Thread.yield();
        }
        return false;
    }
}
