package vesk.host;

import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

/**
 * What System.out or System.err writes to once captured: each line becomes
 * one log event of the host, "System.out|INFO|<line number>|<text>" or
 * "System.err|ERROR|...". A line the host could not write (no log file, a
 * failed write) goes to the stream that was there before, and so does
 * whatever the thread writes while one of its own lines is being logged, so
 * that a log that fails and says so on a captured stream never loops.
 */
final class LineCapture extends OutputStream {
    /** A line longer than this is logged in pieces of this many bytes. */
    private static final int MAX_LINE = 64 * 1024;

    /** Whether this thread is handing a captured line to the host. */
    private static final ThreadLocal<Boolean> FORWARDING = ThreadLocal.withInitial(() -> Boolean.FALSE);

    private final VeskHost host;
    private final String className;
    private final String level;
    private final PrintStream previous;
    private final ByteArrayOutputStream line = new ByteArrayOutputStream();
    private long lines;

    private LineCapture(VeskHost host, String className, String level, PrintStream previous) {
        this.host = host;
        this.className = className;
        this.level = level;
        this.previous = previous;
    }

    /** A PrintStream whose lines go to host as className events at level; previous takes what cannot. */
    static PrintStream stream(VeskHost host, String className, String level, PrintStream previous) {
        return new PrintStream(new LineCapture(host, className, level, previous), true, StandardCharsets.UTF_8);
    }

    @Override
    public void write(int b) {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public void write(byte[] bytes, int offset, int length) {
        if (FORWARDING.get()) {
            previous.write(bytes, offset, length);
            return;
        }
        synchronized (this) {
            for (int i = offset; i < offset + length; ++i) {
                if (bytes[i] == '\n') {
                    forward();
                } else {
                    line.write(bytes[i]);
                    if (line.size() >= MAX_LINE) {
                        forward();
                    }
                }
            }
        }
    }

    /** Logs the line gathered so far (without its CR), or hands it to the previous stream. */
    private void forward() {
        String text = line.toString(StandardCharsets.UTF_8);
        line.reset();
        if (text.endsWith("\r")) {
            text = text.substring(0, text.length() - 1);
        }
        FORWARDING.set(Boolean.TRUE);
        try {
            if (host.log(className, level, Long.toString(++lines), text) < 0) {
                previous.println(text);
            }
        } finally {
            FORWARDING.set(Boolean.FALSE);
        }
    }
}
