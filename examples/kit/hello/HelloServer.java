package hello;

import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * A minimal Java server for vesk (ENTRY_CLASS=hello/HelloServer): it logs
 * through the host with java.util.logging and System.Logger.
 */
public final class HelloServer {
    private static final Logger LOG = Logger.getLogger("HelloServer");

    private HelloServer() {
    }

    public static Object start(long[] longs, String[] texts) {
        // Loads libvesk_java (the option "library") and keeps the log relay.
        VeskHost host = VeskHost.install(longs, texts);
        // From here on java.util.logging writes to the host's daily log.
        VeskHost.installLogging();

        String name = host.options().getOrDefault("NAME", "mundo");
        // An Integer first parameter is the line's code: "HelloServer|INFO|1|ola, mundo".
        LOG.log(Level.INFO, "ola, {1}", new Object[] {1, name});
        // System.Logger goes the same way; DEBUG lines need VERBOSITY=5.
        System.getLogger("HelloServer").log(System.Logger.Level.DEBUG, "opcoes: {0}", host.options());

        // Start the server's own threads here; start must return a non-null object.
        return host;
    }
}
