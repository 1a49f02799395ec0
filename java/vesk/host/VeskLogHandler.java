package vesk.host;

import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Collections;
import java.util.HashMap;
import java.util.Map;
import java.util.Properties;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.logging.ErrorManager;
import java.util.logging.Formatter;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.LogManager;
import java.util.logging.LogRecord;
import java.util.logging.Logger;

/**
 * A java.util.logging handler that writes every record it is given through
 * the host, as the line "class|LEVEL|code|message":
 * <ul>
 * <li>LEVEL: SEVERE (and above) gives ERROR, WARNING gives WARN, INFO and
 * CONFIG give INFO, FINE and below give DEBUG;</li>
 * <li>class: the logger's name, or the name given to the handler;</li>
 * <li>code: the record's first parameter when it is an Integer that the
 * message does not place, that is when the record's message (its pattern,
 * as logged, before any localization) holds no "{0": the caller passed it
 * only to be the code. So {@code log(Level.INFO, "pedido aceito", 7)} and
 * {@code log(Level.INFO, "{1} aceito", new Object[] {7, "pedido"})} give
 * code 7. Otherwise the code is the record's sequence number:
 * {@code log(Level.INFO, "pedido {0} aceito", 7)} gives one, and so do a
 * record without parameters, a first parameter of any other type (a Long,
 * a String) and a message that SLF4J or another bridge formatted before
 * it reached java.util.logging. System.Logger's log(level, format,
 * params) follows the same rule;</li>
 * <li>message: the record formatted by the handler's formatter (by default
 * the message with its parameters filled in), then, for a record with a
 * thrown exception, ": " and the exception's class and message; line breaks
 * become blanks, so this first line is always one line.</li>
 * </ul>
 * A record with a thrown exception has, under that line and in the same
 * write, the lines of the exception's printStackTrace, each after a tab
 * (shown here as four blanks):
 * <pre>
 * 09/12/2026 05:40:12: org.example.Server|ERROR|41|Falha: java.io.IOException: Failed to bind to /127.0.0.1:8080
 *     java.io.IOException: Failed to bind to /127.0.0.1:8080
 *         at org.example.Server.open(Server.java:52)
 *         Suppressed: java.lang.IllegalStateException: ja fechado
 *             at org.example.Server.close(Server.java:77)
 *     Caused by: java.net.BindException: Address already in use
 *         at java.base/sun.nio.ch.Net.bind0(Native Method)
 *         ... 4 more
 * </pre>
 * A line break inside a line of the trace (in an exception's message) is
 * written escaped, "\n" or "\r", on that line, so no line of a trace reads as
 * a log line of its own or as a frame it does not have, and no other
 * thread's line comes between them. When the exception's own toString or
 * getMessage throws, that is reported through the ErrorManager
 * (FORMAT_FAILURE) and one tab-led line naming the two classes stands in for
 * the trace.
 * The host filters lines by its threshold; the handler itself passes every
 * level unless its own level is set. A line the host could not write is
 * reported through the handler's ErrorManager, once per process for each
 * cause (no log file could be opened; one opened but the write failed),
 * whichever handler met it.
 */
public class VeskLogHandler extends Handler {
    /** Whether a line lost for want of a log file was reported. */
    private static final AtomicBoolean OPEN_LOSS_REPORTED = new AtomicBoolean();

    /** Whether a line lost to a failed write was reported. */
    private static final AtomicBoolean WRITE_LOSS_REPORTED = new AtomicBoolean();

    private final VeskHost host;
    private final String className;

    /**
     * A handler that writes through host with each record's logger name as class.
     *
     * @param host the host to write through
     * @throws IllegalArgumentException when host is null
     */
    public VeskLogHandler(VeskHost host) {
        this(host, null);
    }

    /**
     * A handler that writes through host with className as class.
     *
     * @param host the host to write through
     * @param className the class column of every line; null for each record's logger name
     * @throws IllegalArgumentException when host is null
     */
    public VeskLogHandler(VeskHost host, String className) {
        if (host == null) {
            throw new IllegalArgumentException("host is null");
        }
        this.host = host;
        this.className = className;
        setLevel(Level.ALL);
        setFormatter(new MessageOnly());
    }

    /**
     * Writes record through the host as the line described above, when the
     * handler's level and filter admit it.
     *
     * @param record the record to write; a failure to format it is reported through the ErrorManager
     */
    @Override
    public void publish(LogRecord record) {
        if (!isLoggable(record)) {
            return;
        }
        String message;
        try {
            message = getFormatter().format(record);
        } catch (RuntimeException e) {
            reportError(null, e, ErrorManager.FORMAT_FAILURE);
            return;
        }
        String origin = className != null ? className : record.getLoggerName();
        String level = levelName(record.getLevel());
        Throwable thrown = record.getThrown();
        int written = thrown == null ? host.log(origin, level, code(record), message)
            : host.logThrown(origin, level, code(record), message, thrown,
                failure -> reportError(null, failure, ErrorManager.FORMAT_FAILURE));
        if (written < 0) {
            reportLoss(written);
        }
    }

    /** Lines are written as they come; there is nothing to flush. */
    @Override
    public void flush() {
    }

    /**
     * Stops the handler: later records are dropped. Not while the JVM shuts
     * down: the JDK then resets java.util.logging from a shutdown hook of its
     * own, which would otherwise cut off the lines that other hooks, a
     * server's stop and requests still being answered log after it. So the
     * handler stays on its loggers (see {@link #equals}) and open, and the
     * loggers get back the levels the reset takes from them (see
     * {@link #noteLevels}).
     */
    @Override
    public void close() {
        if (!shuttingDown()) {
            setLevel(Level.OFF);
            return;
        }
        if (LEVEL_KEPT.compareAndSet(false, true)) {
            keepLevels();
        }
    }

    /**
     * Identity, except while the JVM shuts down, when the handler equals
     * nothing, not even itself: the loggers then cannot find it to remove it,
     * whatever order the JDK's shutdown hooks run in.
     *
     * @param other the object to compare with
     * @return whether other is this handler and the JVM is not shutting down
     */
    @Override
    public boolean equals(Object other) {
        return other == this && !shuttingDown();
    }

    /**
     * The identity hash, as {@link #equals} is identity.
     *
     * @return this handler's identity hash
     */
    @Override
    public int hashCode() {
        return System.identityHashCode(this);
    }

    /** Whether the loggers' levels are being kept through the JDK's reset. */
    private static final AtomicBoolean LEVEL_KEPT = new AtomicBoolean();

    /** Whether the JVM was seen shutting down; it never stops doing so. */
    private static volatile boolean shutdownSeen;

    /** Whether the JVM is shutting down: it then takes no more shutdown hooks. */
    static boolean shuttingDown() {
        if (shutdownSeen) {
            return true;
        }
        Thread probe = new Thread(() -> { });
        try {
            Runtime.getRuntime().addShutdownHook(probe);
            // Throws too when the shutdown began in between; the probe then runs, doing nothing.
            Runtime.getRuntime().removeShutdownHook(probe);
        } catch (IllegalStateException e) {
            shutdownSeen = true;
            return true;
        }
        return false;
    }

    /**
     * The levels below the root that the JDK's reset at shutdown takes away
     * (it sets every other logger's level to null), by logger name, as of the
     * last {@link #noteLevels}.
     */
    private static final Map<String, Level> NOTED_LEVELS = new ConcurrentHashMap<>();

    /**
     * Notes the levels of loggers below the root, to give them back after the
     * JDK's reset at shutdown: those of the "name.level" lines of the file
     * that java.util.logging.config.file names, then those set on loggers
     * now. Called when the kit installs logging.
     */
    static void noteLevels() {
        fileLevels(NOTED_LEVELS);
        loggerLevels(NOTED_LEVELS);
    }

    /** Puts into levels the "name.level" lines of the logging configuration file, when it can be read. */
    private static void fileLevels(Map<String, Level> levels) {
        String path = System.getProperty("java.util.logging.config.file");
        if (path == null) {
            return;
        }
        Properties lines = new Properties();
        try (InputStream in = new FileInputStream(path)) {
            lines.load(in);
        } catch (IOException e) {
            return;
        }
        String suffix = ".level";
        for (String key : lines.stringPropertyNames()) {
            if (key.endsWith(suffix) && key.length() > suffix.length()) {
                try {
                    levels.put(key.substring(0, key.length() - suffix.length()),
                        Level.parse(lines.getProperty(key).trim()));
                } catch (IllegalArgumentException e) {
                    // The JDK ignores a level it cannot read; so does the kit.
                }
            }
        }
    }

    /** Puts into levels the level of every logger below the root that has one of its own. */
    private static void loggerLevels(Map<String, Level> levels) {
        LogManager manager = LogManager.getLogManager();
        for (String name : Collections.list(manager.getLoggerNames())) {
            Logger logger = name.isEmpty() ? null : manager.getLogger(name);
            Level level = logger != null ? logger.getLevel() : null;
            if (level != null) {
                levels.put(name, level);
            }
        }
    }

    /**
     * Gives the loggers their levels again once the thread that is closing
     * the handler (the JDK's reset, which sets the root level to INFO and
     * every other to null) has finished: the root its present one, the
     * others those noted, or present now for loggers the reset has not yet
     * reached. A logger that got a level since keeps it.
     */
    private static void keepLevels() {
        Logger root = Logger.getLogger("");
        Level rootLevel = root.getLevel();
        Map<String, Level> levels = new HashMap<>(NOTED_LEVELS);
        loggerLevels(levels);
        Thread resetting = Thread.currentThread();
        Thread restore = new Thread(() -> {
            try {
                resetting.join();
            } catch (InterruptedException e) {
                return;
            }
            LogManager manager = LogManager.getLogManager();
            levels.forEach((name, level) -> {
                Logger logger = manager.getLogger(name);
                if (logger != null && logger.getLevel() == null) {
                    logger.setLevel(level);
                }
            });
            // Last, so that no logger is open to the root's level before its own is back.
            root.setLevel(rootLevel);
        }, "vesk-log-level");
        restore.setDaemon(true);
        restore.start();
    }

    /** The host's level name for a JUL level. */
    static String levelName(Level level) {
        int value = level.intValue();
        if (value >= Level.SEVERE.intValue()) {
            return "ERROR";
        }
        if (value >= Level.WARNING.intValue()) {
            return "WARN";
        }
        if (value >= Level.CONFIG.intValue()) {
            return "INFO";
        }
        return "DEBUG";
    }

    /** Says that a line was lost and why, the first time the process loses one that way. */
    private void reportLoss(int result) {
        boolean write = result == VeskHost.WRITE_FAILED;
        if (!(write ? WRITE_LOSS_REPORTED : OPEN_LOSS_REPORTED).compareAndSet(false, true)) {
            return;
        }
        String cause = write
            ? "the host's log file opened, but the write failed (is the disk full?)"
            : "the host could open neither the day's log file nor its fallback file";
        // JUL's own ErrorManager reports only its first error: a fresh one
        // lets each cause through; an ErrorManager of the user's gets both.
        ErrorManager manager = getErrorManager();
        if (manager.getClass() == ErrorManager.class) {
            manager = new ErrorManager();
        }
        String text = "vesk: a log line was lost: " + cause + "; later lines lost this way are not reported";
        manager.error(text, null, write ? ErrorManager.WRITE_FAILURE : ErrorManager.OPEN_FAILURE);
    }

    /** The code column: a first parameter that is an Integer the message does not place, else the sequence. */
    private static String code(LogRecord record) {
        Object[] parameters = record.getParameters();
        String pattern = record.getMessage();
        if (parameters != null && parameters.length > 0 && parameters[0] instanceof Integer
                && (pattern == null || !pattern.contains("{0"))) {
            return parameters[0].toString();
        }
        return Long.toString(record.getSequenceNumber());
    }

    /** The record's message with its parameters, localized as JUL does it. */
    private static final class MessageOnly extends Formatter {
        @Override
        public String format(LogRecord record) {
            return formatMessage(record);
        }
    }
}
