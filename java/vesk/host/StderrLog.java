package vesk.host;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;

/**
 * The process's own standard error, reached through its descriptor, so that
 * neither System.setErr nor {@link VeskHost#captureStandardStreams} turns a
 * write here back into a log line. Without a host the kit writes its events
 * here in the host's line format; with one, nothing.
 */
final class StderrLog {
    /** The time prefix of every log line, in local time. */
    private static final DateTimeFormatter STAMP = DateTimeFormatter.ofPattern("dd/MM/yyyy HH:mm:ss: ");

    /** The level names in the host's order: NONE 0 to DEBUG 5. */
    private static final String[] LEVELS = {"NONE", "FATAL", "ERROR", "WARN", "INFO", "DEBUG"};

    /** The values the host prints of an event without a class, at most. */
    private static final int MAX_VALUES = 6;

    private static final FileOutputStream ERR = new FileOutputStream(FileDescriptor.err);

    private StderrLog() {
    }

    /**
     * Writes the event as the host writes it into its log, with threshold as
     * the host's: "class|verbosity|code|message", or without a class the
     * first values by position; fewer than two texts give "Mensagem
     * inconsistente...". Texts as the native half converts them. The bytes
     * written; 0 when the level is NONE, unknown or above threshold.
     */
    static int write(int threshold, String[] texts, boolean oneLine) {
        int count = texts == null ? 0 : texts.length;
        if (count <= 1) {
            return threshold >= level("ERROR") ? line("|VESK| Mensagem inconsistente...") : 0;
        }
        String[] clean = new String[count];
        for (int i = 0; i < count; ++i) {
            clean[i] = clean(texts[i], oneLine);
        }
        String verbosity = value(clean, "verbosity");
        int level = level(verbosity);
        if (level == 0 || level > threshold) {
            return 0;
        }
        String className = value(clean, "class");
        if (!className.isEmpty()) {
            return line(className + "|" + verbosity + "|" + value(clean, "code") + "|" + value(clean, "message"));
        }
        StringBuilder values = new StringBuilder();
        for (int i = 1; i < count && i < 2 * MAX_VALUES; i += 2) {
            values.append(i > 1 ? "|" : "").append(clean[i]);
        }
        return line(values.toString());
    }

    /** The number of the level name, as the host reads it: exact, 0 for any other name. */
    static int level(String name) {
        for (int i = 1; i < LEVELS.length; ++i) {
            if (LEVELS[i].equals(name)) {
                return i;
            }
        }
        return 0;
    }

    /** The value of the first pair whose key is key, or empty, as the host looks it up. */
    private static String value(String[] texts, String key) {
        for (int i = 0; i + 1 < texts.length; i += 2) {
            if (key.equals(texts[i])) {
                return texts[i + 1];
            }
        }
        return "";
    }

    /**
     * One log line: the time prefix, the text escaped as the host escapes a
     * line ({@link #escape}) and a line break in one write; its bytes. A
     * trace under the line has the prefix on its first line only.
     */
    private static int line(String text) {
        byte[] bytes = (LocalDateTime.now().format(STAMP) + escape(text) + System.lineSeparator())
            .getBytes(StandardCharsets.UTF_8);
        return put(bytes) < 0 ? -1 : bytes.length;
    }

    /**
     * text as the host writes a line of several (a line feed that a tab
     * follows opens a continuation line): a carriage return as "\r", any
     * other line feed as "\n", any other control character but the tab,
     * and DEL, as a backslash, x and two hex digits; a C1 control, U+2028,
     * U+2029 and the bidirectional controls as a backslash, u and four,
     * upper case, so that no reader finds a line the host would not write.
     */
    private static String escape(String text) {
        StringBuilder out = new StringBuilder(text.length() + 16);
        for (int i = 0; i < text.length(); ++i) {
            char c = text.charAt(i);
            if (c == '\n' && i + 1 < text.length() && text.charAt(i + 1) == '\t'
                    || c == '\t' || (c >= 0x20 && c < 0x7F) || (c > 0x9F && !hidden(c))) {
                out.append(c);
            } else if (c == '\n' || c == '\r') {
                out.append(c == '\n' ? "\\n" : "\\r");
            } else {
                out.append(String.format(c < 0x80 ? "\\x%02X" : "\\u%04X", (int) c));
            }
        }
        return out.toString();
    }

    /** Whether c, past the C1 controls, is a line or paragraph separator or a bidirectional control. */
    private static boolean hidden(char c) {
        return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
            || (c >= 0x2066 && c <= 0x2069);
    }

    /** Writes text as it is, in UTF-8 and one write, for what the JDK itself would have printed here. */
    static void print(String text) {
        put(text.getBytes(StandardCharsets.UTF_8));
    }

    private static int put(byte[] bytes) {
        try {
            synchronized (ERR) {
                ERR.write(bytes);
            }
            return bytes.length;
        } catch (IOException e) {
            return -1;
        }
    }

    /**
     * The text as the host receives it from the native half: null as empty,
     * NUL as a blank, a lone surrogate as U+FFFD, and with oneLine each line
     * break (CR LF, LF or CR) as one blank.
     */
    static String clean(String text, boolean oneLine) {
        if (text == null) {
            return "";
        }
        StringBuilder out = new StringBuilder(text.length());
        for (int i = 0; i < text.length(); ++i) {
            char c = text.charAt(i);
            if (Character.isHighSurrogate(c) && i + 1 < text.length() && Character.isLowSurrogate(text.charAt(i + 1))) {
                out.append(c).append(text.charAt(++i));
            } else if (Character.isSurrogate(c)) {
                out.append('\uFFFD');
            } else if (c == '\0') {
                out.append(' ');
            } else if (oneLine && (c == '\r' || c == '\n')) {
                if (c == '\r' && i + 1 < text.length() && text.charAt(i + 1) == '\n') {
                    ++i;
                }
                out.append(' ');
            } else {
                out.append(c);
            }
        }
        return out.toString();
    }
}
