package vesk.demo;

/**
 * Log lines through the host: each event is a key/value list handed to the
 * host's log callback, whose address is element 0 of the long[] that start
 * received.
 */
final class HostLog {
    private final long[] callback;

    HostLog(long[] callback) {
        this.callback = callback;
    }

    /** Loads the native half, named by the option "library", from the library path. */
    static void load(String library) {
        System.loadLibrary(library);
    }

    /** Logs one event of this server; what the host wrote (0: filtered out). */
    int log(String verbosity, String code, String message) {
        return relay(callback, new String[] {"class", "StatusServer", "verbosity", verbosity,
            "code", code, "message", message}, null);
    }

    private static native int relay(long[] longs, String[] texts, byte[][] blobs);
}
