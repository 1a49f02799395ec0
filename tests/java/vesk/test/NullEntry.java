package vesk.test;

/** Entry class whose start gives no server object. */
public final class NullEntry {
    private NullEntry() {
    }

    public static Object start(long[] longs, String[] texts) {
        return null;
    }
}
