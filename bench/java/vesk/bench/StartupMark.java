package vesk.bench;

/**
 * The entry class of startup_bench: started by vesk (start) or by the java
 * launcher (main), it writes one line on standard output, which marks the
 * moment the entry class runs, and then leaves the process running until it
 * is killed, so that its memory can be read.
 */
public final class StartupMark {
    private StartupMark() {
    }

    private static void mark() {
        System.out.println("vesk-bench-started");
        System.out.flush();
    }

    /** vesk's entry: marks and returns, and the host sleeps on. */
    public static Object start(long[] longs, String[] texts) {
        mark();
        return new Object();
    }

    /** The java launcher's entry: marks and sleeps. */
    public static void main(String[] args) throws InterruptedException {
        mark();
        Thread.sleep(Long.MAX_VALUE);
    }
}
