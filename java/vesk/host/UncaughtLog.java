package vesk.host;

import java.io.PrintWriter;
import java.io.StringWriter;

/**
 * The default handler of uncaught exceptions that {@link VeskHost#installLogging}
 * sets: a thread's end by an exception becomes one ERROR event of the host,
 * "VeskHost|ERROR|thread id|Excecao nao tratada na thread "name": class:
 * message" with the trace under it. An event the host cannot write goes to
 * the process's standard error as the JDK would print it.
 */
final class UncaughtLog implements Thread.UncaughtExceptionHandler {
    private final VeskHost host;

    private UncaughtLog(VeskHost host) {
        this.host = host;
    }

    /**
     * Makes a handler of host the default one, unless the server has set
     * one of its own; an earlier handler of the kit's is replaced.
     */
    static synchronized void install(VeskHost host) {
        Thread.UncaughtExceptionHandler present = Thread.getDefaultUncaughtExceptionHandler();
        if (present == null || present instanceof UncaughtLog) {
            Thread.setDefaultUncaughtExceptionHandler(new UncaughtLog(host));
        }
    }

    /** Logs thrown's end of thread, as the JDK's ThreadGroup does: ThreadDeath is no failure. */
    @Override
    public void uncaughtException(Thread thread, Throwable thrown) {
        if (thrown instanceof ThreadDeath) {
            return;
        }
        String name = thread.getName();
        if (host.log(VeskHost.KIT_CLASS, "ERROR", Long.toString(thread.getId()),
                "Excecao nao tratada na thread \"" + name + "\"", thrown) < 0) {
            StringWriter text = new StringWriter();
            text.write("Exception in thread \"" + name + "\" ");
            thrown.printStackTrace(new PrintWriter(text, true));
            StderrLog.print(text.toString());
        }
    }
}
