package a;

// Compiled with source file names only: its frames carry no line numbers.
public class C {
    public static void c() {
        throw new IllegalArgumentException("c");
    }
}
