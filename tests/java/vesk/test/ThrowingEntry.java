package vesk.test;

/** Entry class whose start fails with an exception. */
public final class ThrowingEntry {
    private ThrowingEntry() {
    }

    public static Object start(long[] longs, String[] texts) {
        throw new IllegalStateException("start refused");
    }
}
