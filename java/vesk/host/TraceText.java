package vesk.host;

import java.io.PrintWriter;
import java.io.StringWriter;

/**
 * A throwable as the kit writes it under its log line: the text of
 * printStackTrace, each of its lines after a line break and a tab, so that
 * no line of a trace can pass for a log line of its own.
 */
final class TraceText {
    private TraceText() {
    }

    /**
     * thrown's printStackTrace text (the throwable, its frames, its
     * "Suppressed:" and "Caused by:" sections), each line as "\n\t" and the
     * line; CR LF, LF and CR all end a line. Throws what the throwable's own
     * toString or getMessage throws.
     */
    static String of(Throwable thrown) {
        StringWriter text = new StringWriter();
        try (PrintWriter out = new PrintWriter(text)) {
            thrown.printStackTrace(out);
        }
        return indent(text.toString());
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

    /** Each line of text after "\n\t"; the break that ends the text opens no line. */
    private static String indent(String text) {
        StringBuilder out = new StringBuilder(text.length() + text.length() / 16 + 2);
        boolean lineStart = true;
        for (int i = 0; i < text.length(); ++i) {
            char c = text.charAt(i);
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < text.length() && text.charAt(i + 1) == '\n') {
                    ++i;
                }
                if (lineStart) {
                    out.append("\n\t");
                }
                lineStart = true;
            } else {
                if (lineStart) {
                    out.append("\n\t");
                    lineStart = false;
                }
                out.append(c);
            }
        }
        return out.toString();
    }
}
