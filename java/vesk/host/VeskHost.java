package vesk.host;

import java.io.PrintStream;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.function.Consumer;
import java.util.logging.ConsoleHandler;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.Logger;

/**
 * The Java server's way into the host that started it: install it first thing
 * in {@code start}, then log through {@link #log}, {@link #relay} or, after
 * {@link #installLogging}, through java.util.logging and System.Logger.
 *
 * <p>Every event reaches the host's log relay as a key/value list; the host
 * filters it by its threshold (VERBOSITY of its ini file) and writes one line
 * "class|LEVEL|code|message" to the daily log; an event with a throwable has
 * the lines of its stack trace under it, each after a tab, in the same write.
 * {@link #exit} ends the process when the server stops itself. Instances
 * are immutable and safe to share between threads.
 */
public final class VeskHost {
    /** The native half's default name, found on java.library.path. */
    public static final String LIBRARY = "vesk_java";

    /** What {@link #log} and {@link #relay} give when no log file could be opened. */
    public static final int OPEN_FAILED = -1;

    /** What {@link #log} and {@link #relay} give when a log file opened but the write failed. */
    public static final int WRITE_FAILED = -2;

    /** What {@link #deleteOldLogs} gives when the log folder cannot be opened. */
    public static final int NO_LOG_FOLDER = -2;

    /**
     * What {@link #deleteOldLogs} gives when this process cannot delete the
     * host's files: no host (see {@link #hosted}), or one that offers no deletion.
     */
    public static final int NO_DELETION = -3;

    /** The class of the kit's own log lines. */
    static final String KIT_CLASS = "VeskHost";

    /** Serializes the removals of old log files within the process. */
    private static final Object DELETION = new Object();

    /** The threshold {@link #verbosity} gives when the process tells none: DEBUG. */
    private static final int UNKNOWN_THRESHOLD = 5;

    private static volatile VeskHost installed;

    private final long callback;
    private final Map<String, String> options;
    private final int threshold;

    private VeskHost(long callback, Map<String, String> options, int threshold) {
        this.callback = callback;
        this.options = options;
        this.threshold = threshold;
    }

    /**
     * As {@link #install(long[], String[], String)} without options and with the library "vesk_java".
     *
     * @param longs the numbers start received: the log relay's address first
     * @return the host, now {@link #current}
     */
    public static VeskHost install(long[] longs) {
        return install(longs, null, LIBRARY);
    }

    /**
     * As {@link #install(long[], String[], String)} with the library named by the
     * option "library", or "vesk_java" when that option is missing or empty.
     *
     * @param longs the numbers start received: the log relay's address first
     * @param texts the texts start received, key/value pairs; may be null
     * @return the host, now {@link #current}
     */
    public static VeskHost install(long[] longs, String[] texts) {
        String library = pairs(texts).get("library");
        return install(longs, texts, library == null || library.isEmpty() ? LIBRARY : library);
    }

    /**
     * Loads the native half {@code library} from java.library.path, keeps the
     * log relay's address (longs[0], as start received it), the host's log
     * threshold and the options (texts, as start received them; may be null)
     * and becomes the host that {@link #installLogging} uses. With the host,
     * when the option LOG_DAYS (or, without it, the system property vesk.logDays) is a
     * whole number of days from 1, it also starts removing the host's log
     * files of that age or more, now and then once a day, on a daemon thread
     * of its own (see {@link #deleteOldLogs}); any other value is refused with
     * one ERROR line and nothing is removed. When longs holds
     * no address (start was not called by the host: a test, an IDE, plain
     * java) nothing is loaded, and the host object writes the same lines to
     * standard error instead, filtered by the option VERBOSITY. Throws
     * UnsatisfiedLinkError when the library cannot be loaded or does not bind
     * this class.
     *
     * @param longs the numbers start received: the log relay's address first
     * @param texts the texts start received, key/value pairs; may be null
     * @param library the native half's name, as System.loadLibrary takes it
     * @return the host, now {@link #current}
     * @throws UnsatisfiedLinkError when the library cannot be loaded or does not bind this class
     */
    public static VeskHost install(long[] longs, String[] texts, String library) {
        if (longs == null || longs.length == 0 || longs[0] == 0) {
            return installStandalone(texts);
        }
        System.loadLibrary(library);
        if (!bound()) {
            throw new UnsatisfiedLinkError("the library '" + library + "' does not bind vesk.host.VeskHost");
        }
        int threshold = threshold0(longs[0]);
        VeskHost host = new VeskHost(longs[0], pairs(texts),
            threshold < 0 ? UNKNOWN_THRESHOLD : threshold);
        installed = host;
        LogRetention.start(host, host.options);
        return host;
    }

    /**
     * The host of the last successful install.
     *
     * @return that host, or null before an install
     */
    public static VeskHost current() {
        return installed;
    }

    /**
     * Puts a {@link VeskLogHandler} of the current host on the root logger in
     * place of its console handlers (and of an earlier VeskLogHandler) and sets
     * the root level from the host's threshold ({@link #verbosity}). The
     * levels of the other loggers, those the logging configuration file sets
     * included, still hold while the JVM shuts down, when the JDK resets
     * them.
     *
     * <p>It also makes the kit's handler of uncaught exceptions the default
     * one (Thread.setDefaultUncaughtExceptionHandler), unless the server has
     * already set a default handler of its own, which is kept; an earlier
     * one of the kit's is replaced. A thread that an exception ends then
     * gives one ERROR event, written as
     * {@link #log(String, String, String, String, Throwable)} writes one,
     * with the thread's id (Thread.getId) as code:
     * "VeskHost|ERROR|id|Excecao nao tratada na thread "name": class: message"
     * and the trace under it. ThreadDeath is ignored, as the JDK ignores it.
     * The host's threshold filters the event like any other; when the host
     * cannot write it (a negative result), the process's own standard error
     * (not System.err, which may be captured) gets what the JDK would print:
     * "Exception in thread "name" " and the trace. A thread or thread group
     * with a handler of its own still uses that one.
     *
     * @return the handler, to adjust further
     * @throws IllegalStateException before an install
     */
    public static VeskLogHandler installLogging() {
        VeskHost host = installed;
        if (host == null) {
            throw new IllegalStateException("VeskHost.install must come first");
        }
        Logger root = Logger.getLogger("");
        for (Handler handler : root.getHandlers()) {
            if (handler instanceof ConsoleHandler || handler instanceof VeskLogHandler) {
                root.removeHandler(handler);
            }
        }
        VeskLogHandler.noteLevels();
        VeskLogHandler handler = new VeskLogHandler(host);
        root.addHandler(handler);
        root.setLevel(julLevel(host.verbosity()));
        UncaughtLog.install(host);
        return handler;
    }

    /**
     * Logs one event: the line "className|verbosity|code|message" when the
     * host's threshold admits verbosity (FATAL, ERROR, WARN, INFO or DEBUG).
     * Null texts read as empty, and line breaks become blanks, so an event is
     * always one line (see the overload with a throwable for the one
     * exception). What the host wrote: characters, 0 when filtered out or
     * dropped for the day's log budget ({@link #logBudgetSpent}),
     * {@link #OPEN_FAILED} when no log file could be opened,
     * {@link #WRITE_FAILED} when one opened but the write failed.
     *
     * @param className the class column, who logs
     * @param verbosity the level name: FATAL, ERROR, WARN, INFO or DEBUG
     * @param code the code column
     * @param message the text
     * @return the characters written, 0, {@link #OPEN_FAILED} or {@link #WRITE_FAILED}
     */
    public int log(String className, String verbosity, String code, String message) {
        return deliver(new String[] {"class", className, "verbosity", verbosity, "code", code,
            "message", message}, true);
    }

    /**
     * As {@link #log(String, String, String, String)} with ": ", thrown's
     * class and message after message, then, when thrown is
     * not null, the lines of thrown's printStackTrace under the line, each
     * after a tab, in the same write: the throwable, its frames, its
     * "Suppressed:" and "Caused by:" sections. The first line stays one line;
     * a line break inside a line of the trace (in an exception's message) is
     * written escaped, "\n" or "\r", so no line of a trace reads as a log
     * line of its own or as a frame of it, and no other thread's line can
     * come between them. When thrown's own toString or getMessage throws, one tab-led
     * line names thrown's class and the failure's instead of the trace.
     *
     * @param className the class column, who logs
     * @param verbosity the level name: FATAL, ERROR, WARN, INFO or DEBUG
     * @param code the code column
     * @param message the text before thrown's class and message
     * @param thrown the throwable whose trace goes under the line; null for none
     * @return the characters written, 0, {@link #OPEN_FAILED} or {@link #WRITE_FAILED}
     */
    public int log(String className, String verbosity, String code, String message, Throwable thrown) {
        if (thrown == null) {
            return log(className, verbosity, code, message);
        }
        return logThrown(className, verbosity, code, message, thrown, failure -> { });
    }

    /**
     * The line of {@link #log(String, String, String, String, Throwable)}
     * for a throwable that is not null, failing tells why thrown could not
     * be printed. The texts are made one line here, so that the native half,
     * which is then told to keep line breaks, keeps only the trace's.
     */
    int logThrown(String className, String verbosity, String code, String message, Throwable thrown,
            Consumer<RuntimeException> failing) {
        if (!admits(verbosity)) {
            return 0;
        }
        String summary;
        String trace;
        try {
            summary = TraceText.summary(thrown);
            trace = TraceText.of(thrown);
        } catch (RuntimeException e) {
            failing.accept(e);
            summary = ": " + thrown.getClass().getName();
            trace = TraceText.unprintable(thrown, e);
        }
        return logLines(className, verbosity, code, (message == null ? "" : message) + summary, trace);
    }

    /**
     * One event of several lines: head, made one line here, then trace, the
     * lines under it, each already "\n\t" and a line without line breaks,
     * which the native half is told to keep. What the host wrote.
     */
    int logLines(String className, String verbosity, String code, String head, String trace) {
        return deliver(new String[] {"class", StderrLog.clean(className, true),
            "verbosity", StderrLog.clean(verbosity, true), "code", StderrLog.clean(code, true),
            "message", StderrLog.clean(head, true) + trace}, false);
    }

    /**
     * Ends the process when the server stops itself: logs why, as the line
     * "VeskHost|LEVEL|status|Servidor encerrado (status N): reason" through
     * the current host (standard error without one), then calls
     * System.exit(status), so the shutdown hooks run and their lines still
     * reach the log. The host writes a line before its call returns, so
     * this one is in the log before the process ends. Use it rather than
     * letting the server's threads end: the host never exits by itself.
     *
     * <p>Under the packaged systemd unit, status 0 (or 143, what a stop by
     * SIGTERM gives) is a clean stop that the unit does not restart, logged at
     * INFO; 2 and 3 are failures that it does not restart either (the host
     * gives them when the launch fails, which no restart mends); any other
     * status is a failure after which the unit starts the server again.
     * Failures are logged at ERROR. A null or empty reason leaves out ": reason".
     *
     * <p>Called while the JVM already shuts down (from a shutdown hook, where
     * System.exit would block for ever), it logs the line and returns: the
     * process is ending with the status it already has. Throws
     * IllegalArgumentException, logging nothing, when status is outside 0 to
     * 255: the system keeps only the low 8 bits, so 256 would read as a clean
     * stop.
     *
     * @param status the process's exit status, 0 to 255
     * @param reason why the server stops; may be null
     * @throws IllegalArgumentException when status is outside 0 to 255
     */
    public static void exit(int status, String reason) {
        if (status < 0 || status > 255) {
            throw new IllegalArgumentException("status must be 0 to 255: " + status);
        }
        String text = "Servidor encerrado (status " + status + ")"
            + (reason == null || reason.isEmpty() ? "." : ": " + reason);
        String level = status == 0 || status == 143 ? "INFO" : "ERROR";
        String code = Integer.toString(status);
        VeskHost host = installed;
        if (host != null) {
            host.log(KIT_CLASS, level, code, text);
        } else {
            StderrLog.write(UNKNOWN_THRESHOLD,
                new String[] {"class", KIT_CLASS, "verbosity", level, "code", code, "message", text}, true);
        }
        if (!VeskLogHandler.shuttingDown()) {
            System.exit(status);
        }
    }

    /**
     * Hands keyValues to the log relay as they are (a null array or element
     * reads as empty, a NUL character as a blank): the characters the host
     * wrote, 0 when it filtered the event out or dropped it for the day's log
     * budget, {@link #OPEN_FAILED} or {@link #WRITE_FAILED} when the line was
     * lost.
     *
     * @param keyValues keys and their values in turn: "class", "verbosity", "code", "message"
     * @return the characters written, 0, {@link #OPEN_FAILED} or {@link #WRITE_FAILED}
     */
    public int relay(String... keyValues) {
        return deliver(keyValues, false);
    }

    /**
     * Removes the host's log files (monitor_*.log in the folder log of the
     * current folder, not its subfolders) whose age in whole days, counted
     * from when they were last written, has reached days, with the host's own deletion,
     * which never follows a link. The count removed, logged at INFO when not
     * 0; {@link #NO_LOG_FOLDER} or {@link #NO_DELETION}, logged at ERROR; a
     * file that cannot be removed is logged by the host and not counted.
     * Throws IllegalArgumentException when days is below 1 (that would take
     * the day's file).
     *
     * @param days the age in whole days from which a file goes, 1 or more
     * @return the count removed, {@link #NO_LOG_FOLDER} or {@link #NO_DELETION}
     * @throws IllegalArgumentException when days is below 1
     */
    public int deleteOldLogs(int days) {
        if (days < 1) {
            throw new IllegalArgumentException("days must be 1 or more: " + days);
        }
        int removed;
        synchronized (DELETION) {
            removed = callback == 0 ? NO_DELETION : deleteLogs0(callback, days);
        }
        String age = days + (days == 1 ? " dia" : " dias") + " ou mais";
        if (removed == 1) {
            log(KIT_CLASS, "INFO", "1", "Removido 1 arquivo de log com " + age + ".");
        } else if (removed > 1) {
            log(KIT_CLASS, "INFO", Integer.toString(removed),
                "Removidos " + removed + " arquivos de log com " + age + ".");
        } else if (removed < 0) {
            String cause = removed == NO_LOG_FOLDER ? "diretorio 'log' nao encontrado"
                : callback == 0 ? "processo sem o host vesk" : "o host nao oferece execute_delete";
            log(KIT_CLASS, "ERROR", Integer.toString(removed),
                "Falha ao tentar remover logs com " + age + ": " + cause + ".");
        }
        return removed;
    }

    /**
     * The options start received, as key/value pairs up to the first null (the first key wins).
     *
     * @return the options, unmodifiable
     */
    public Map<String, String> options() {
        return options;
    }

    /**
     * The threshold the host filters lines with, as it read VERBOSITY from its
     * ini file (0 without one; a VERBOSITY among the options start received
     * changes nothing), asked of the host by the native half; 5 (DEBUG) when
     * the process is not the vesk host and tells none. Without the host (see
     * {@link #hosted}), the threshold of the standard-error lines.
     *
     * @return the threshold, 0 (NONE) to 5 (DEBUG)
     */
    public int verbosity() {
        return threshold;
    }

    /**
     * Key/value pairs of texts up to the first null slot; the first of equal keys wins.
     *
     * @param texts keys and their values in turn; may be null
     * @return the pairs in their order, unmodifiable
     */
    public static Map<String, String> pairs(String[] texts) {
        Map<String, String> map = new LinkedHashMap<>();
        for (int i = 0; texts != null && i + 1 < texts.length; i += 2) {
            if (texts[i] == null || texts[i + 1] == null) {
                break;
            }
            map.putIfAbsent(texts[i], texts[i + 1]);
        }
        return Collections.unmodifiableMap(map);
    }

    // ---- Without the host, the budget, the standard streams.

    /** Whether the host dropped the last event the threshold admits, for the day's log budget. */
    private static volatile boolean budgetSpent;

    /**
     * Whether the last host installed is the vesk host (its lines go to the
     * daily log) rather than standard error; false before an install.
     *
     * @return whether the lines go to the host's log
     */
    public static boolean hosted() {
        VeskHost host = installed;
        return host != null && host.callback != 0;
    }

    /**
     * Whether the host dropped the last event that its threshold admits
     * because today's log file is full (10485760 bytes a day; the host says
     * so in the file and, once a day, on standard error): true from such an
     * event on, false again once an event is written (the next day's, say).
     *
     * @return whether the last event the threshold admits was dropped
     */
    public static boolean logBudgetSpent() {
        return budgetSpent;
    }

    /**
     * Sends every line written to System.out (level INFO, class "System.out")
     * and System.err (ERROR, "System.err") through the current host, one event
     * per line, with the stream's count of events as code; a line longer than
     * 65536 bytes is logged in pieces of that many. A line the host cannot
     * write goes to the stream that was replaced. Once is enough; later calls
     * change nothing.
     *
     * <p>A throwable's printStackTrace on a captured stream (e.printStackTrace()
     * included) gives one event, not one per line: its first line the
     * throwable's toString, after any text of the stream still waiting for its
     * line end ("Erro: " printed before it, say), and the other lines of the
     * trace under it as {@link #log(String, String, String, String, Throwable)}
     * writes them, in the same write. The stream tells a trace by its lock:
     * printStackTrace holds it while it prints, so a println of a throwable
     * made while holding the stream's lock is taken for one;
     * System.err.println(e) otherwise stays one ordinary line.
     *
     * <p>Text written without a line end is logged when its line ends; what is
     * still waiting when the JVM shuts down is logged then, from a shutdown
     * hook of the kit's, and from then on each write logs what it leaves
     * without a line end at once.
     *
     * @throws IllegalStateException before an install
     */
    public static synchronized void captureStandardStreams() {
        VeskHost host = installed;
        if (host == null) {
            throw new IllegalStateException("VeskHost.install must come first");
        }
        if (capturedOut == null || System.out != capturedOut) {
            capturedOut = LineCapture.stream(host, "System.out", "INFO", System.out);
            System.setOut(capturedOut);
        }
        if (capturedErr == null || System.err != capturedErr) {
            capturedErr = LineCapture.stream(host, "System.err", "ERROR", System.err);
            System.setErr(capturedErr);
        }
    }

    private static PrintStream capturedOut;
    private static PrintStream capturedErr;

    /**
     * A host object without the host: its events go to standard error,
     * filtered by the option VERBOSITY when that is a plain decimal number (cut
     * to 16 bits, as the host cuts its own), else by DEBUG.
     */
    private static VeskHost installStandalone(String[] texts) {
        Map<String, String> options = pairs(texts);
        String text = options.get("VERBOSITY");
        int threshold = text != null && text.matches("[0-9]{1,18}")
            ? (int) (Long.parseLong(text) & 0xFFFF) : UNKNOWN_THRESHOLD;
        VeskHost host = new VeskHost(0, options, threshold);
        installed = host;
        return host;
    }

    /** The event to the host (or standard error without one); what was written. */
    private int deliver(String[] texts, boolean oneLine) {
        if (callback == 0) {
            return StderrLog.write(verbosity(), texts, oneLine);
        }
        int written = relay0(callback, texts, oneLine);
        // Read before written: most events find it as it should be.
        if (written > 0 && budgetSpent) {
            budgetSpent = false;
        } else if (written == 0 && !budgetSpent && admits(texts)) {
            budgetSpent = true;
        }
        return written;
    }

    /** Whether the host's threshold admits the event's level, so that only a spent budget drops it. */
    private boolean admits(String[] texts) {
        for (int i = 0; texts != null && i + 1 < texts.length; i += 2) {
            if ("verbosity".equals(texts[i])) {
                return admits(texts[i + 1]);
            }
        }
        return false;
    }

    /** Whether the host writes events of the level named verbosity (a trace is built only then). */
    boolean admits(String verbosity) {
        int level = StderrLog.level(verbosity);
        return level > 0 && level <= threshold;
    }

    /** The most detailed JUL level that the host's threshold still writes. */
    private static Level julLevel(int verbosity) {
        switch (verbosity) {
            case 0:
            case 1:
                return Level.OFF;
            case 2:
                return Level.SEVERE;
            case 3:
                return Level.WARNING;
            case 4:
                return Level.CONFIG;
            default:
                return Level.ALL;
        }
    }

    /** Whether the native half bound this class's native methods. */
    private static boolean bound() {
        try {
            return version0() == 3;
        } catch (UnsatisfiedLinkError e) {
            return false;
        }
    }

    private static native int version0();

    /**
     * Calls the relay at address with texts as UTF-8 (null reads as empty, NUL
     * as a blank, and with oneLine each line break as a blank too).
     */
    private static native int relay0(long address, String[] texts, boolean oneLine);

    /**
     * The host's log threshold, asked of the program that holds the relay at
     * address; -1 when it tells none.
     */
    private static native int threshold0(long address);

    /**
     * Runs the host's execute_delete on its log files of days or more, in
     * the program that holds the relay at address: its result, or
     * {@link #NO_DELETION} when that program exports none.
     */
    private static native int deleteLogs0(long address, int days);
}
