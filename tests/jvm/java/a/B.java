package a;

// Fixtures for the native tests: Java code that throws from known places.
public class B {
    public static void b() {
        throw new IllegalStateException("m");
    }

    // Registered by the tests with a native function that raises a Java exception.
    public static native void n();

    public static void callNative() {
        n();
    }

    public static Throwable withEmptyStack() {
        Throwable throwable = new RuntimeException("no frames");
        throwable.setStackTrace(new StackTraceElement[0]);
        return throwable;
    }

    public static Throwable withFailingToString() {
        return new RuntimeException() {
            @Override
            public String toString() {
                throw new UnsupportedOperationException("toString");
            }
        };
    }
}
