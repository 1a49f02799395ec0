package vesk.readiness;

/**
 * The host's shutdown hook: tells the host, and through it the service
 * manager, that the process has begun to stop, whatever stops it (a signal,
 * System.exit). The host defines this class in the JVM it starts and binds
 * stopping() itself; no jar carries it.
 */
public final class StopHook extends Thread {
    public StopHook() {
        super("vesk-stop-notice");
    }

    @Override
    public void run() {
        stopping();
    }

    private static native void stopping();
}
