package vesk.test;

/** Class whose (long[], String[]) constructor throws. */
public final class FailingTarget {
    public FailingTarget(long[] longs, String[] texts) {
        throw new IllegalStateException("no object");
    }
}
