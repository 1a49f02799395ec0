package vesk.test;

/**
 * Entry class that needs vesk.test.Target, a class of the fixtures' other
 * jar, which a test leaves off the class path.
 */
public final class DependentEntry {
    private DependentEntry() {
    }

    public static Object start(long[] longs, String[] texts) {
        return new Target(longs, texts);
    }
}
