package vesk.bench;

import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * The Java half of java_bench: logs texts[1] lines through the kit to the
 * relay at texts[0], with java.util.logging or with VeskHost.log directly;
 * each gives the nanoseconds the lines took.
 */
public final class KitBench {
    private KitBench() {
    }

    /** The JVM's mode, for the report. */
    public static String vm(String[] texts) {
        return System.getProperty("java.vm.info");
    }

    public static long jul(String[] texts) {
        VeskHost.install(new long[] {Long.parseLong(texts[0])});
        VeskHost.installLogging();
        Logger log = Logger.getLogger("Bench");
        int lines = Integer.parseInt(texts[1]);
        long start = System.nanoTime();
        for (int i = 0; i < lines; ++i) {
            log.info("bench line " + i + " padding text");
        }
        return System.nanoTime() - start;
    }

    public static long plain(String[] texts) {
        VeskHost host = VeskHost.install(new long[] {Long.parseLong(texts[0])});
        int lines = Integer.parseInt(texts[1]);
        long start = System.nanoTime();
        for (int i = 0; i < lines; ++i) {
            host.log("Bench", "INFO", Integer.toString(i), "bench line " + i + " padding text");
        }
        return System.nanoTime() - start;
    }
}
