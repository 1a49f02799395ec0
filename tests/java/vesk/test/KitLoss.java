package vesk.test;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.host.VeskHost;
import vesk.host.VeskLogHandler;

/**
 * Lines that a relay of the test's refuses: "abrir" as if no file opened,
 * any other as if the write failed.
 */
public final class KitLoss {
    private KitLoss() {
    }

    /** Two loggers, each with a VeskLogHandler of its own, lose lines of both kinds. */
    public static Object run(long[] longs, String[] texts) {
        VeskHost host = VeskHost.install(longs, texts);
        Logger[] logs = {Logger.getLogger("kit.A"), Logger.getLogger("kit.B")};
        for (Logger log : logs) {
            log.setUseParentHandlers(false);
            log.addHandler(new VeskLogHandler(host));
        }
        for (String message : new String[] {"abrir", "abrir", "gravar", "gravar", "abrir"}) {
            for (Logger log : logs) {
                log.severe(message);
            }
        }
        return host;
    }

    /**
     * The thread "perdida-1" ends by an exception whose event the relay
     * refuses, with the kit's logging installed and System.err replaced by a
     * sink, so that only the process's own standard error shows what the kit
     * printed; System.err, the JVM's default handler and the root logger are
     * then as they were.
     */
    public static Object uncaught(long[] longs, String[] texts) throws InterruptedException {
        VeskHost host = VeskHost.install(longs, texts);
        Thread.UncaughtExceptionHandler before = Thread.getDefaultUncaughtExceptionHandler();
        Logger root = Logger.getLogger("");
        Handler[] handlers = root.getHandlers();
        Level level = root.getLevel();
        VeskHost.installLogging();
        PrintStream err = System.err;
        System.setErr(new PrintStream(new ByteArrayOutputStream(), true, StandardCharsets.UTF_8));
        Thread worker = new Thread(() -> {
            throw new IllegalStateException("perdida");
        }, "perdida-1");
        worker.start();
        worker.join();
        System.setErr(err);
        Thread.setDefaultUncaughtExceptionHandler(before);
        for (Handler handler : root.getHandlers()) {
            root.removeHandler(handler);
        }
        for (Handler handler : handlers) {
            root.addHandler(handler);
        }
        root.setLevel(level);
        return host;
    }
}
