package vesk.host;

import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.Iterator;
import java.util.List;

/**
 * What System.out or System.err writes to once captured: each line becomes
 * one log event of the host, "System.out|INFO|<line number>|<text>" or
 * "System.err|ERROR|...", and a throwable's printStackTrace one event with
 * its trace under it. A line the host could not write (no log file, a
 * failed write) goes to the stream that was there before, and so does
 * whatever the thread writes while one of its own lines is being logged, so
 * that a log that fails and says so on a captured stream never loops. Text
 * still waiting for its line end when the JVM shuts down is logged then.
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

    /** Whether the JVM shuts down: text a write leaves without a line end is then logged at once. */
    private boolean ending;

    /** Whether the text gathered last was logged before its line end, which then ends no other line. */
    private boolean cut;

    private LineCapture(VeskHost host, String className, String level, PrintStream previous) {
        this.host = host;
        this.className = className;
        this.level = level;
        this.previous = previous;
    }

    /**
     * A PrintStream whose lines go to host as className events at level;
     * previous takes what cannot. A shutdown hook logs what is left of a
     * line when the JVM ends.
     */
    static PrintStream stream(VeskHost host, String className, String level, PrintStream previous) {
        LineCapture capture = new LineCapture(host, className, level, previous);
        try {
            Runtime.getRuntime().addShutdownHook(new Thread(capture::end, "vesk-" + className));
        } catch (IllegalStateException e) {
            // Already shutting down: no line end may come any more.
            capture.end();
        }
        return new Traces(capture);
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
                    if (line.size() > 0 || !cut) {
                        forward();
                    }
                    cut = false;
                } else {
                    line.write(bytes[i]);
                    if (line.size() >= MAX_LINE) {
                        forward();
                        cut = true;
                    }
                }
            }
            if (ending && line.size() > 0) {
                forward();
                cut = true;
            }
        }
    }

    /**
     * Logs the text still waiting for its line end; from now on each write
     * logs what it leaves without one at once, since the JVM is ending and
     * no later write may come to end the line.
     */
    private synchronized void end() {
        ending = true;
        if (line.size() > 0) {
            forward();
            cut = true;
        }
    }

    /** Logs the line gathered so far (without its CR), or hands it to the previous stream. */
    private void forward() {
        String text = take();
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

    /**
     * Logs the lines of a printStackTrace (printed: the throwable first) as
     * one event, its first line after the text still waiting for its line
     * end, its other lines under it; or prints them to the previous stream.
     */
    private synchronized void trace(List<String> printed) {
        String pending = take();
        cut = false;
        FORWARDING.set(Boolean.TRUE);
        try {
            if (host.logLines(className, level, Long.toString(++lines),
                    pending + TraceText.escape(printed.get(0)), TraceText.continued(printed, 1)) < 0) {
                previous.print(pending);
                printed.forEach(previous::println);
            }
        } finally {
            FORWARDING.set(Boolean.FALSE);
        }
    }

    /** The text gathered since the last line end, which is then gone. */
    private String take() {
        String text = line.toString(StandardCharsets.UTF_8);
        line.reset();
        return text;
    }

    /**
     * The captured stream itself. Throwable.printStackTrace holds the
     * stream's lock and prints the throwable with println(Object) before
     * each of its other lines; println of a throwable under the lock is
     * therefore taken for a trace, logged whole as one event, and the same
     * thread's following println calls are dropped while they print the
     * trace's lines in order (the first other one ends that). A println of
     * a throwable without the lock is an ordinary line.
     */
    private static final class Traces extends PrintStream {
        private final LineCapture capture;

        /** The lines this thread's printStackTrace is still to print, after one was logged. */
        private final ThreadLocal<Iterator<String>> expected = new ThreadLocal<>();

        Traces(LineCapture capture) {
            super(capture, true, StandardCharsets.UTF_8);
            this.capture = capture;
        }

        @Override
        public void println(Object x) {
            if (!Thread.holdsLock(this) || FORWARDING.get() || !traced(x)) {
                super.println(x);
            }
        }

        /** Whether x was logged as a trace or is a line of one already logged. */
        private boolean traced(Object x) {
            Iterator<String> rest = expected.get();
            if (rest != null) {
                expected.remove();
                if (rest.next().equals(String.valueOf(x))) {
                    if (rest.hasNext()) {
                        expected.set(rest);
                    }
                    return true;
                }
            }
            if (!(x instanceof Throwable)) {
                return false;
            }
            List<String> printed = TraceText.lines((Throwable) x);
            if (printed.isEmpty()) {
                return false;
            }
            capture.trace(printed);
            if (printed.size() > 1) {
                expected.set(printed.subList(1, printed.size()).iterator());
            }
            return true;
        }
    }
}
