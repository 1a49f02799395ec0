package vesk.bench;

/**
 * The bridge's half of java_bench: log lines from Java through the generic
 * native callback into the relay, and an object whose echo native code
 * calls through ub_JVM_callStringMethod.
 */
public final class BridgeBench {
    public BridgeBench(long[] longs, String[] texts) {
    }

    /** Bound by java_bench: ub_JVM_generic_callback into the handler at address. */
    static native int relay(long address, String[] texts);

    /** Logs texts[1] lines through relay to the relay at texts[0]; the nanoseconds they took. */
    public static long callback(String[] texts) {
        long address = Long.parseLong(texts[0]);
        int lines = Integer.parseInt(texts[1]);
        long start = System.nanoTime();
        for (int i = 0; i < lines; ++i) {
            relay(address, new String[] {"class", "Bench", "verbosity", "INFO", "code",
                Integer.toString(i), "message", "bench line " + i + " padding text"});
        }
        return System.nanoTime() - start;
    }

    /** The first text, as it arrived. */
    public String echo(String[] texts) {
        return texts[0];
    }
}
