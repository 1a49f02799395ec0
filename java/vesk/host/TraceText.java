package vesk.host;

import java.io.PrintWriter;
import java.io.StringWriter;

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
        Lines out = new Lines();
        thrown.printStackTrace(out);
        return out.text();
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
        private final StringBuilder text = new StringBuilder();

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

        /** The lines printed, each after "\n\t"; text printed after the last println is one more. */
        String text() {
            synchronized (lock) {
                if (line.getBuffer().length() > 0) {
                    end();
                }
                return text.toString();
            }
        }

        /** Adds the line printed since the last one, its line breaks escaped. */
        private void end() {
            StringBuffer printed = line.getBuffer();
            text.append("\n\t");
            for (int i = 0; i < printed.length(); ++i) {
                char c = printed.charAt(i);
                if (c == '\n') {
                    text.append("\\n");
                } else if (c == '\r') {
                    text.append("\\r");
                } else {
                    text.append(c);
                }
            }
            printed.setLength(0);
        }
    }
}
