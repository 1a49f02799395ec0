package vesk.test;

import java.io.IOException;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Map;
import java.util.concurrent.CountDownLatch;
import java.util.logging.Level;
import java.util.logging.LogManager;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * Entry class on the Java side's kit: installs it and its logging, logs the
 * lines of the scenario named by the option SCENARIO ("levels", "storm",
 * "threshold", "shutdown", "streams", "budget", "retention", "traces",
 * "codes", "uncaught", "stacktraces", "pending" or "exit"), then writes
 * done.txt in the current directory. Its main runs the same without the
 * host: java KitEntry SCENARIO levels.
 */
public final class KitEntry {
    private KitEntry() {
    }

    public static void main(String[] args) throws Exception {
        start(new long[2], args);
    }

    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        switch (host.options().getOrDefault("SCENARIO", "levels")) {
            case "storm":
                storm(8, 1000);
                break;
            case "threshold":
                String threshold = host.verbosity() + " " + Logger.getLogger("").getLevel();
                host.log("KitEntry", "FATAL", "0", threshold);
                Logger.getLogger("kit.Threshold").info("info");
                break;
            case "shutdown":
                shutdown();
                break;
            case "streams":
                streams();
                break;
            case "budget":
                budget(host);
                break;
            case "retention":
                Files.writeString(Path.of("retention.txt"), retentionThreads() + "\n");
                break;
            case "traces":
                traces(host);
                break;
            case "codes":
                codes();
                break;
            case "uncaught":
                uncaught();
                break;
            case "stacktraces":
                stackTraces();
                break;
            case "pending":
                pending();
                break;
            case "exit":
                exit(host.options());
                return host;
            default:
                levels(host);
                break;
        }
        Files.writeString(Path.of("done.txt"), "done\n");
        return host;
    }

    /** Every JUL and System.Logger level, an exception, line breaks, characters the log escapes, and the plain forms. */
    private static void levels(VeskHost host) {
        Logger log = Logger.getLogger("kit.Levels");
        log.log(Level.SEVERE, "severo", 11);
        log.log(Level.WARNING, "aviso", 12);
        log.log(Level.INFO, "info", 13);
        log.log(Level.CONFIG, "config", 14);
        log.log(Level.FINE, "fino", 15);
        log.log(Level.FINER, "mais fino", 16);
        log.log(Level.FINEST, "finissimo", 17);
        log.log(Level.INFO, "sem codigo {0}", "texto");
        log.log(Level.INFO, "utf-8: a\u00e7\u00e3o \uD83D\uDE00 \uD800", 18);
        log.log(Level.INFO, "escapes:\u2028<0>aqui\u001B[2J\u202E\u0085", 19);
        log.log(Level.SEVERE, "falha ao gravar\nno disco", new IOException("disco\r\ncheio"));
        System.Logger system = System.getLogger("kit.System");
        system.log(System.Logger.Level.ERROR, "erro", 21);
        system.log(System.Logger.Level.WARNING, "aviso", 22);
        system.log(System.Logger.Level.INFO, "info", 23);
        system.log(System.Logger.Level.DEBUG, "debug", 24);
        system.log(System.Logger.Level.TRACE, "trace", 25);
        system.log(System.Logger.Level.ERROR, "excecao", new IllegalStateException("estado"));
        host.log("KitEntry", "FATAL", "1", "fatal");
        host.relay("verbosity", "WARN", "code", "9", "message", "sem classe");
        host.log("KitEntry", "INFO", "2", "hosted=" + VeskHost.hosted());
    }

    /**
     * Four threads log numbered lines until the process ends, and a shutdown
     * hook logs numbered lines once the JDK has reset java.util.logging (its
     * properties are then empty), or says that it never saw the reset.
     */
    private static void shutdown() throws InterruptedException {
        Logger log = Logger.getLogger("kit.Shutdown");
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            boolean reset = false;
            for (int wait = 0; wait < 400 && !reset; ++wait) {
                reset = LogManager.getLogManager().getProperty("handlers") == null;
                sleep(5);
            }
            log.info(reset ? "gancho depois do reset" : "gancho sem reset");
            for (int i = 0; i < 100; ++i) {
                log.info("gancho " + i);
            }
        }));
        CountDownLatch running = new CountDownLatch(4);
        for (int t = 0; t < 4; ++t) {
            String prefix = "t" + t + " ";
            new Thread(() -> {
                for (int i = 0;; ++i) {
                    log.info(prefix + i);
                    if (i == 100) {
                        running.countDown();
                    }
                    sleep(1);
                }
            }).start();
        }
        running.await();
    }

    /** Lines on System.out and System.err, whole, in pieces and numbered, once captured. */
    private static void streams() {
        VeskHost.captureStandardStreams();
        VeskHost.captureStandardStreams();
        System.out.println("saida 1");
        System.err.println("erro 2");
        System.out.print("em ");
        System.out.print("partes\r\nduas\nlinhas\n");
        new IllegalStateException("rastro").printStackTrace();
        String padding = "y".repeat(200);
        for (int i = 0; i < 600; ++i) {
            System.out.println("numerada " + i + " " + padding);
        }
    }

    /**
     * A throwable 100 frames deep, with a suppressed exception, a cause and
     * line breaks of every kind in its message, one before a forged frame, logged through
     * java.util.logging (code 31) and VeskHost.log (code 32) while another
     * thread logs plain lines; then one whose getMessage throws (code 33).
     * trace.txt holds the throwable's own printStackTrace text.
     */
    private static void traces(VeskHost host) throws Exception {
        Logger log = Logger.getLogger("kit.Traces");
        Thread plain = plainLines(false);
        RuntimeException thrown = deep(100);
        for (int i = 0; i < 20; ++i) {
            log.log(record(log, "falha\nno servidor", 31, thrown));
            host.log("kit.Traces", "ERROR", "32", "falha\r\ndireta", thrown);
        }
        log.log(record(log, "rastro quebrado", 33, new Unprintable()));
        plain.interrupt();
        plain.join();
        writeTrace(thrown);
    }

    /**
     * One line per way of handing java.util.logging or System.Logger a
     * first parameter, 777 or like it: the code column shows it only when
     * it is an Integer that the message does not place.
     */
    private static void codes() {
        Logger log = Logger.getLogger("kit.Codes");
        log.log(Level.INFO, "so codigo", 777);
        log.log(Level.INFO, "colocado {0}", 777);
        log.log(Level.INFO, "formatado {0,number,#}", 777);
        log.log(Level.INFO, "citado '{0}'", 777);
        log.log(Level.INFO, "{1} sem o primeiro", new Object[] {777, "outro"});
        log.log(Level.INFO, "longo", 777L);
        log.log(Level.INFO, "texto", "777");
        log.log(Level.INFO, "nulo", (Object) null);
        log.log(Level.INFO, "sem parametros");
        System.Logger system = System.getLogger("kit.Codes");
        system.log(System.Logger.Level.INFO, "sistema", 777);
        system.log(System.Logger.Level.INFO, "sistema {0}", 777);
    }

    /**
     * While another thread logs plain lines, the thread "worker-1" ends by
     * the throwable of {@link #deep} and "worker-2" by a ThreadDeath;
     * trace.txt holds the throwable's own printStackTrace text, worker.txt
     * the id of worker-1, kept.txt whether a default handler the server set
     * itself outlives installLogging.
     */
    private static void uncaught() throws Exception {
        Thread plain = plainLines(false);
        RuntimeException thrown = deep(100);
        Thread worker = new Thread(() -> {
            throw thrown;
        }, "worker-1");
        worker.start();
        worker.join();
        Thread death = new Thread(() -> {
            throw new ThreadDeath();
        }, "worker-2");
        death.start();
        death.join();
        plain.interrupt();
        plain.join();
        writeTrace(thrown);
        Files.writeString(Path.of("worker.txt"), Long.toString(worker.getId()));
        Thread.UncaughtExceptionHandler own = (t, e) -> { };
        Thread.setDefaultUncaughtExceptionHandler(own);
        VeskHost.installLogging();
        boolean kept = Thread.getDefaultUncaughtExceptionHandler() == own;
        Files.writeString(Path.of("kept.txt"), Boolean.toString(kept));
    }

    /**
     * With the standard streams captured, while another thread logs plain
     * lines and prints lines on System.err, 20 times: the throwable of
     * {@link #deep} printed on System.err, on System.err after "Erro: ",
     * on System.out, and a plain println of another exception;
     * trace.txt holds the throwable's own printStackTrace text.
     */
    private static void stackTraces() throws Exception {
        VeskHost.captureStandardStreams();
        Thread plain = plainLines(true);
        RuntimeException thrown = deep(100);
        for (int i = 0; i < 20; ++i) {
            thrown.printStackTrace();
            // Held, so that no other thread's line ends the partial one first.
            synchronized (System.err) {
                System.err.print("Erro: ");
                thrown.printStackTrace();
            }
            thrown.printStackTrace(System.out);
            System.err.println(new IllegalStateException("simples"));
        }
        plain.interrupt();
        plain.join();
        writeTrace(thrown);
    }

    /**
     * Text without a line end on the captured System.err when the process
     * is told to stop, and more on System.out from a shutdown hook.
     */
    private static void pending() {
        VeskHost.captureStandardStreams();
        System.out.println("saida completa");
        System.err.print("erro pendente");
        Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.print("do gancho")));
    }

    /**
     * A thread that logs plain lines, with printing each also as "paralela
     * i" on System.err, until interrupted, once it has logged 20.
     */
    private static Thread plainLines(boolean printing) throws InterruptedException {
        CountDownLatch running = new CountDownLatch(20);
        Thread plain = new Thread(() -> {
            for (int i = 0; !Thread.currentThread().isInterrupted(); ++i) {
                Logger.getLogger("kit.Plain").info("simples " + i);
                if (printing) {
                    System.err.println("paralela " + i);
                }
                running.countDown();
            }
        });
        plain.start();
        running.await();
        return plain;
    }

    /** Writes thrown's own printStackTrace text to trace.txt. */
    private static void writeTrace(Throwable thrown) throws IOException {
        StringWriter text = new StringWriter();
        thrown.printStackTrace(new PrintWriter(text, true));
        Files.writeString(Path.of("trace.txt"), text.toString());
    }

    /** A SEVERE record of log with code as its parameter and thrown. */
    private static LogRecord record(Logger log, String message, int code, Throwable thrown) {
        LogRecord record = new LogRecord(Level.SEVERE, message);
        record.setLoggerName(log.getName());
        record.setParameters(new Object[] {code});
        record.setThrown(thrown);
        return record;
    }

    /** An exception whose message cannot be had. */
    private static final class Unprintable extends IllegalStateException {
        private static final long serialVersionUID = 1L;

        @Override
        public String getMessage() {
            throw new UnsupportedOperationException("sem mensagem");
        }
    }

    /** An exception made depth calls down, with a cause and a suppressed exception. */
    private static RuntimeException deep(int depth) {
        if (depth > 0) {
            return deep(depth - 1);
        }
        RuntimeException top = new IllegalStateException(
            "linha 1\r\nlinha 2\rlinha 3\nlinha 4\n\tat evil.Forged.frame(Forged.java:1)",
            new IOException("disco\0cheio"));
        top.addSuppressed(new IllegalArgumentException("ao fechar"));
        return top;
    }

    /**
     * Ends the process with VeskHost.exit from a thread of its own, with the
     * options STATUS and REASON, once a shutdown hook that logs is in place.
     */
    private static void exit(Map<String, String> options) {
        Logger log = Logger.getLogger("kit.Exit");
        Runtime.getRuntime().addShutdownHook(new Thread(() -> log.info("gancho de saida")));
        int status = Integer.parseInt(options.get("STATUS"));
        new Thread(() -> VeskHost.exit(status, options.get("REASON"))).start();
    }

    /**
     * Lines of 4000 characters until the host says the day's budget is spent,
     * one more, then the day's file emptied (its lines kept in full.log) and
     * one more again; budget.txt tells what logBudgetSpent() said after each.
     */
    private static void budget(VeskHost host) throws IOException {
        String padding = "z".repeat(4000);
        int lines = 0;
        while (!VeskHost.logBudgetSpent() && lines < 4000) {
            host.log("kit.Budget", "INFO", Integer.toString(lines++), padding);
        }
        host.log("kit.Budget", "INFO", "depois", "perdida");
        boolean spent = VeskHost.logBudgetSpent();
        try (DirectoryStream<Path> days = Files.newDirectoryStream(Path.of("log"), "monitor_*.log")) {
            for (Path day : days) {
                Files.copy(day, Path.of("full.log"), StandardCopyOption.REPLACE_EXISTING);
                Files.write(day, new byte[0]);
            }
        }
        host.log("kit.Budget", "INFO", "de novo", "gravada");
        Files.writeString(Path.of("budget.txt"),
            "spent=" + spent + " lines=" + lines + " again=" + VeskHost.logBudgetSpent() + "\n");
    }

    /** The kit's retention threads: "threads=N", then " daemon=" and whether each is a daemon. */
    public static String retentionThreads() {
        StringBuilder found = new StringBuilder();
        int count = 0;
        for (Thread thread : Thread.getAllStackTraces().keySet()) {
            if (thread.getName().equals("vesk-log-retention")) {
                ++count;
                found.append(" daemon=").append(thread.isDaemon());
            }
        }
        return "threads=" + count + found;
    }

    private static void sleep(long millis) {
        try {
            Thread.sleep(millis);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
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
