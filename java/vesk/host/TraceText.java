package vesk.host;

import java.io.PrintWriter;
import java.io.StringWriter;
import java.util.ArrayList;
import java.util.List;

/**
 * A throwable as the kit writes it under its log line: the text of
 * printStackTrace, each of its lines after a line break and a tab, so that
 * no line of a trace can pass for a log line of its own. The host keeps a
 * line break that a tab follows and escapes every other; so that only the
 * trace's own lines become continuation lines, and a message cannot forge
 * frames, a line break inside one of its lines is sent escaped, as the host
 * writes one: "\n" for a line feed, "\r" for a carriage return.
 */
final class TraceText {
    private TraceText() {
    }

    /**
     * thrown's printStackTrace text (the throwable, its frames, its
     * "Suppressed:" and "Caused by:" sections), each line as "\n\t" and the
     * line, a line being what one println printed; a line break inside one
     * (an exception's message) is escaped. Throws what the throwable's own
     * toString or getMessage throws.
     */
    static String of(Throwable thrown) {
        return continued(lines(thrown), 0);
    }

    /**
     * The lines of thrown's printStackTrace as printed, one per println,
     * line breaks inside them kept: the first is thrown itself. Throws what
     * the throwable's own toString or getMessage throws.
     */
    static List<String> lines(Throwable thrown) {
        Lines out = new Lines();
        thrown.printStackTrace(out);
        return out.lines();
    }

    /** The lines from index from on, each as "\n\t" and the line escaped. */
    static String continued(List<String> lines, int from) {
        StringBuilder text = new StringBuilder();
        for (String line : lines.subList(from, lines.size())) {
            text.append("\n\t").append(escape(line));
        }
        return text.toString();
    }

    /** line with a line feed written "\n" and a carriage return "\r", so that it stays one line. */
    static String escape(String line) {
        return line.replace("\n", "\\n").replace("\r", "\\r");
    }

    /**
     * ": ", thrown's class and its message when it has one: what the log line
     * itself says of thrown, above the trace. Throws what getMessage throws.
     */
    static String summary(Throwable thrown) {
        String message = thrown.getMessage();
        return ": " + thrown.getClass().getName() + (message == null ? "" : ": " + message);
    }

    /** In place of the trace when printing it failed: one line with thrown's class and the failure's. */
    static String unprintable(Throwable thrown, RuntimeException failure) {
        return "\n\t" + thrown.getClass().getName() + " (rastro nao escrito: "
            + failure.getClass().getName() + ")";
    }

    /**
     * A writer that takes printStackTrace's text a println at a time: it
     * prints each line of the trace with one println, so what lies between
     * two is one line, whatever line breaks its texts hold.
     */
    private static final class Lines extends PrintWriter {
        private final StringWriter line;
        private final List<String> lines = new ArrayList<>();

        Lines() {
            this(new StringWriter());
        }

        private Lines(StringWriter line) {
            super(line);
            this.line = line;
        }

        @Override
        public void println() {
            synchronized (lock) {
                end();
            }
        }

        /** The lines printed; text printed after the last println is one more. */
        List<String> lines() {
            synchronized (lock) {
                if (line.getBuffer().length() > 0) {
                    end();
                }
                return lines;
            }
        }

        /** Ends the line printed since the last one. */
        private void end() {
            StringBuffer printed = line.getBuffer();
            lines.add(printed.toString());
            printed.setLength(0);
        }
    }
}
