package vesk.host;

import java.io.PrintStream;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.concurrent.atomic.AtomicBoolean;
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
 * filters it by its VERBOSITY and writes one line "class|LEVEL|code|message"
 * to the daily log. Instances are immutable and safe to share between threads.
 */
public final class VeskHost {
    /** The native half's default name, found on java.library.path. */
    public static final String LIBRARY = "vesk_java";

    private static volatile VeskHost installed;

    private final long callback;
    private final Map<String, String> options;

    private VeskHost(long callback, Map<String, String> options) {
        this.callback = callback;
        this.options = options;
    }

    /** As {@link #install(long[], String[], String)} without options and with the library "vesk_java". */
    public static VeskHost install(long[] longs) {
        return install(longs, null, LIBRARY);
    }

    /**
     * As {@link #install(long[], String[], String)} with the library named by the
     * option "library", or "vesk_java" when that option is missing or empty.
     */
    public static VeskHost install(long[] longs, String[] texts) {
        String library = pairs(texts).get("library");
        return install(longs, texts, library == null || library.isEmpty() ? LIBRARY : library);
    }

    /**
     * Loads the native half {@code library} from java.library.path, keeps the
     * log relay's address (longs[0], as start received it) and the options
     * (texts, as start received them; may be null) and becomes the host that
     * {@link #installLogging} uses. When longs holds no address (start was not
     * called by the host: a test, an IDE, plain java) nothing is loaded, and
     * the host object writes the same lines to standard error instead. Throws
     * UnsatisfiedLinkError when the library cannot be loaded or does not bind
     * this class.
     */
    public static VeskHost install(long[] longs, String[] texts, String library) {
        if (longs == null || longs.length == 0 || longs[0] == 0) {
            return installStandalone(texts);
        }
        System.loadLibrary(library);
        if (!bound()) {
            throw new UnsatisfiedLinkError("the library '" + library + "' does not bind vesk.host.VeskHost");
        }
        VeskHost host = new VeskHost(longs[0], pairs(texts));
        installed = host;
        return host;
    }

    /** The host of the last successful install, or null before one. */
    public static VeskHost current() {
        return installed;
    }

    /**
     * Puts a {@link VeskLogHandler} of the current host on the root logger in
     * place of its console handlers (and of an earlier VeskLogHandler) and sets
     * the root level from the option VERBOSITY. The handler, to adjust further.
     * Throws IllegalStateException before an install.
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
        VeskLogHandler handler = new VeskLogHandler(host);
        root.addHandler(handler);
        root.setLevel(julLevel(host.verbosity()));
        return handler;
    }

    /**
     * Logs one event: the line "className|verbosity|code|message" when the
     * host's threshold admits verbosity (FATAL, ERROR, WARN, INFO or DEBUG).
     * Null texts read as empty, and line breaks become blanks, so an event is
     * always one line. What the host wrote: characters, 0 when filtered out,
     * -1 when no log file could be opened.
     */
    public int log(String className, String verbosity, String code, String message) {
        return deliver(new String[] {"class", className, "verbosity", verbosity, "code", code,
            "message", message}, true);
    }

    /**
     * Hands keyValues to the log relay as they are (a null array or element
     * reads as empty, a NUL character as a blank): the characters the host
     * wrote, 0 when it filtered the event out, -1 when no log file could be
     * opened.
     */
    public int relay(String... keyValues) {
        return deliver(keyValues, false);
    }

    /** The options start received, as key/value pairs up to the first null (the first key wins). */
    public Map<String, String> options() {
        return options;
    }

    /**
     * The option VERBOSITY read as the host reads it (leading decimal digits,
     * cut to 16 bits, 0 when none), or 5 (DEBUG) when there is no such option.
     */
    public int verbosity() {
        String text = options.get("VERBOSITY");
        return text == null ? 5 : (int) (leadingNumber(text) & 0xFFFF);
    }

    /** Key/value pairs of texts up to the first null slot; the first of equal keys wins. */
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

    /** Whether the host reported its log budget spent. */
    private static final AtomicBoolean BUDGET_SPENT = new AtomicBoolean();

    /**
     * Whether the last host installed is the vesk host (its lines go to the
     * daily log) rather than standard error; false before an install.
     */
    public static boolean hosted() {
        VeskHost host = installed;
        return host != null && host.callback != 0;
    }

    /**
     * Whether the host has written its log budget (10485760 characters) and
     * so writes no more lines until the process restarts. The kit tells it
     * once on standard error as it happens; the server may want to know too.
     */
    public static boolean logBudgetSpent() {
        return BUDGET_SPENT.get();
    }

    /**
     * Sends every line written to System.out (level INFO, class "System.out")
     * and System.err (ERROR, "System.err") through the current host, with the
     * line's number as code. A line the host cannot write goes to the stream
     * that was replaced. Once is enough; later calls change nothing. Throws
     * IllegalStateException before an install.
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

    /** A host object without the host: its events go to standard error. */
    private static VeskHost installStandalone(String[] texts) {
        VeskHost host = new VeskHost(0, pairs(texts));
        installed = host;
        return host;
    }

    /** The event to the host (or standard error without one); what was written. */
    private int deliver(String[] texts, boolean oneLine) {
        if (callback == 0) {
            return StderrLog.write(verbosity(), texts, oneLine);
        }
        int written = relay0(callback, texts, oneLine);
        if (written == 0 && !BUDGET_SPENT.get() && admits(texts)) {
            spent();
        }
        return written;
    }

    /** Whether the host's threshold admits the event's level, so that only a spent budget drops it. */
    private boolean admits(String[] texts) {
        for (int i = 0; texts != null && i + 1 < texts.length; i += 2) {
            if ("verbosity".equals(texts[i])) {
                int level = StderrLog.level(texts[i + 1]);
                return level > 0 && level <= verbosity();
            }
        }
        return false;
    }

    /** Says once, on the process's standard error, that the log has stopped. */
    private static void spent() {
        if (BUDGET_SPENT.compareAndSet(false, true)) {
            StderrLog.notice("vesk: the log budget of 10485760 characters is spent: the host writes no more "
                + "log lines until the process restarts");
        }
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

    /** The C library's atoi rule: blanks, a sign, then decimal digits. */
    private static long leadingNumber(String text) {
        int i = 0;
        while (i < text.length() && Character.isWhitespace(text.charAt(i))) {
            ++i;
        }
        boolean negative = i < text.length() && text.charAt(i) == '-';
        if (i < text.length() && (text.charAt(i) == '-' || text.charAt(i) == '+')) {
            ++i;
        }
        long value = 0;
        for (; i < text.length() && text.charAt(i) >= '0' && text.charAt(i) <= '9'; ++i) {
            value = value * 10 + (text.charAt(i) - '0');
            if (value > 1_000_000_000_000L) {
                // Out of range: the C library saturates.
                return negative ? Long.MIN_VALUE : Long.MAX_VALUE;
            }
        }
        return negative ? -value : value;
    }

    /** Whether the native half bound this class's native methods. */
    private static boolean bound() {
        try {
            return version0() == 1;
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
}
