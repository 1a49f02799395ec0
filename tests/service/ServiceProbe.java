package vesk.servicetest;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;
import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.demo.StatusServer;
import vesk.host.VeskHost;

/**
 * Entry class of the service test: the demo server, plus what a service must
 * allow and forbid, told through the log (a file written in the working
 * folder, a refused write into conf/, a line from a shutdown hook), and the
 * behaviours the test sets in conf/server.ini: START_DELAY_MS (start() takes
 * that long before the server listens), START_FAILS=sim (start() throws),
 * FLOOD_BYTES (that many bytes of log lines, in start() and then
 * System.exit(1) with FLOOD_THEN=exit, or on a thread of their own once
 * start() returned with FLOOD_THEN=run).
 */
public final class ServiceProbe {
    private static final Logger LOG = Logger.getLogger("ServiceProbe");

    private ServiceProbe() {
    }

    public static Object start(long[] longs, String[] texts) throws IOException, InterruptedException {
        Map<String, String> options = VeskHost.pairs(texts);
        Thread.sleep(Long.parseLong(options.getOrDefault("START_DELAY_MS", "0")));
        if (options.getOrDefault("START_FAILS", "nao").equals("sim")) {
            throw new IOException("falha pedida pelo teste");
        }
        Object server = StatusServer.start(longs, texts);
        long flood = Long.parseLong(options.getOrDefault("FLOOD_BYTES", "0"));
        if (flood > 0 && options.getOrDefault("FLOOD_THEN", "exit").equals("exit")) {
            flood(flood);
            System.exit(1);
        } else if (flood > 0) {
            Thread writer = new Thread(() -> flood(flood), "flood");
            writer.setDaemon(true);
            writer.start();
        }
        Files.writeString(Path.of("estado.txt"), "ok\n");
        LOG.log(Level.INFO, "estado gravado", new Object[] {0});
        try {
            Files.writeString(Path.of("conf", "gravado.txt"), "nao\n");
            LOG.log(Level.INFO, "conf gravavel", new Object[] {0});
        } catch (IOException e) {
            LOG.log(Level.INFO, "conf somente leitura", new Object[] {0});
        }
        Runtime.getRuntime().addShutdownHook(new Thread(
            () -> LOG.log(Level.INFO, "encerrando", new Object[] {0})));
        return server;
    }

    /** Log lines of about 100 bytes until bytes were asked for, whether written or not. */
    private static void flood(long bytes) {
        String padding = "x".repeat(60);
        for (long line = 0; line * 100 < bytes; line++) {
            LOG.log(Level.INFO, "linha {1} {2}", new Object[] {0, line, padding});
        }
    }
}
