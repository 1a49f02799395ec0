package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.CountDownLatch;
import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * Entry class on the Java side's kit: installs it and its logging, logs the
 * lines of the scenario named by the option SCENARIO ("levels", "storm" or
 * "threshold"), then writes done.txt in the current directory.
 */
public final class KitEntry {
    private KitEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        String scenario = host.options().get("SCENARIO");
        if ("storm".equals(scenario)) {
            storm(8, 1000);
        } else if ("threshold".equals(scenario)) {
            String threshold = host.verbosity() + " " + Logger.getLogger("").getLevel();
            host.log("KitEntry", "FATAL", "0", threshold);
            Logger.getLogger("kit.Threshold").info("info");
        } else {
            levels(host);
        }
        Files.writeString(Path.of("done.txt"), "done\n");
        return host;
    }

    /** Every JUL and System.Logger level, an exception, line breaks, and the plain forms. */
    private static void levels(VeskHost host) {
        Logger log = Logger.getLogger("kit.Levels");
        log.log(Level.SEVERE, "severo {0}", 11);
        log.log(Level.WARNING, "aviso {0}", 12);
        log.log(Level.INFO, "info {0}", 13);
        log.log(Level.CONFIG, "config {0}", 14);
        log.log(Level.FINE, "fino {0}", 15);
        log.log(Level.FINER, "mais fino {0}", 16);
        log.log(Level.FINEST, "finissimo {0}", 17);
        log.log(Level.INFO, "sem codigo {0}", "texto");
        log.log(Level.INFO, "utf-8 {0}: a\u00e7\u00e3o \uD83D\uDE00 \uD800", 18);
        log.log(Level.SEVERE, "falha ao gravar\nno disco", new IOException("disco\r\ncheio"));
        System.Logger system = System.getLogger("kit.System");
        system.log(System.Logger.Level.ERROR, "erro {0}", 21);
        system.log(System.Logger.Level.WARNING, "aviso {0}", 22);
        system.log(System.Logger.Level.INFO, "info {0}", 23);
        system.log(System.Logger.Level.DEBUG, "debug {0}", 24);
        system.log(System.Logger.Level.TRACE, "trace {0}", 25);
        system.log(System.Logger.Level.ERROR, "excecao", new IllegalStateException("estado"));
        host.log("KitEntry", "FATAL", "1", "fatal");
        host.relay("verbosity", "WARN", "code", "9", "message", "sem classe");
    }

    /** threads threads log lines lines each at once. */
    private static void storm(int threads, int lines) throws InterruptedException {
        Logger log = Logger.getLogger("kit.Storm");
        String padding = "x".repeat(60);
        CountDownLatch go = new CountDownLatch(1);
        Thread[] workers = new Thread[threads];
        for (int t = 0; t < threads; ++t) {
            String prefix = "t" + t + " linha ";
            workers[t] = new Thread(() -> {
                try {
                    go.await();
                } catch (InterruptedException e) {
                    return;
                }
                for (int i = 0; i < lines; ++i) {
                    log.info(prefix + i + " " + padding);
                }
            });
            workers[t].start();
        }
        go.countDown();
        for (Thread worker : workers) {
            worker.join();
        }
    }
}
