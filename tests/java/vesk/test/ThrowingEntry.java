package vesk.test;

import java.io.IOException;

/** Entry class whose start fails with an exception that has a cause. */
public final class ThrowingEntry {
    private ThrowingEntry() {
    }

    public static Object start(long[] longs, String[] texts) {
        throw new IllegalStateException("start refused", new IOException("porta\nem uso"));
    }
}
