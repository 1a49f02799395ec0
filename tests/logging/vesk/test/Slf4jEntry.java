package vesk.test;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.function.Predicate;
import java.util.logging.LogManager;
import org.slf4j.Logger;
import org.slf4j.LoggerFactory;
import vesk.host.VeskHost;

/**
 * Entry class that logs through SLF4J, as a server built on a library that
 * uses it would: the kit's logging installed, then one line at each SLF4J
 * level from each of the loggers "slf4j.Servidor", "slf4j.Ruidoso" and
 * "slf4j.Mudo", one more with an Integer argument, then done.txt in the
 * current directory. SLF4J finds its binding on the class path
 * (slf4j-jdk14 sends it to java.util.logging, and so to the host).
 */
public final class Slf4jEntry {
    private Slf4jEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        VeskHost.captureStandardStreams();
        for (String name : new String[] {"slf4j.Servidor", "slf4j.Ruidoso", "slf4j.Mudo"}) {
            Logger logger = LoggerFactory.getLogger(name);
            logger.error("erro {}", name);
            logger.warn("aviso {}", name);
            logger.info("info {}", name);
            logger.debug("debug {}", name);
            logger.trace("trace {}", name);
        }
        // SLF4J formats the message itself: the Integer reaches no code column.
        LoggerFactory.getLogger("slf4j.Servidor").info("porta {}", 8080);
        Runtime.getRuntime().addShutdownHook(new Thread(Slf4jEntry::stopping));
        Files.writeString(Path.of("done.txt"), "done\n");
        return host;
    }

    /**
     * On the way out, once the JDK's reset of java.util.logging is over and
     * the kit has given the levels back, one INFO line from each logger: only
     * the server's may arrive.
     */
    private static void stopping() {
        try {
            awaitLevelsBack();
        } catch (InterruptedException e) {
            return;
        }
        for (String name : new String[] {"slf4j.Servidor", "slf4j.Ruidoso", "slf4j.Mudo"}) {
            LoggerFactory.getLogger(name).info("parando {}", name);
        }
    }

    /** Waits (5 s at most) for the JDK's reset thread, then for the kit's thread that restores the levels. */
    private static void awaitLevelsBack() throws InterruptedException {
        long end = System.nanoTime() + 5_000_000_000L;
        while (System.nanoTime() < end) {
            Thread cleaner = live(t -> t.getClass().getName().equals("java.util.logging.LogManager$Cleaner"));
            // The reset empties the configuration first: without the file's handlers it has begun.
            if (cleaner != null || LogManager.getLogManager().getProperty("handlers") == null) {
                if (cleaner != null) {
                    cleaner.join();
                }
                Thread restore = live(t -> t.getName().equals("vesk-log-level"));
                if (restore != null) {
                    restore.join();
                }
                return;
            }
            Thread.sleep(1);
        }
    }

    private static Thread live(Predicate<Thread> wanted) {
        return Thread.getAllStackTraces().keySet().stream().filter(wanted).findFirst().orElse(null);
    }
}
