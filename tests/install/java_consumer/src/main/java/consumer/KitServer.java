package consumer;

import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * A Java server on the packaged kit (ENTRY_CLASS=consumer/KitServer): it logs
 * one line through the host, naming the build that made it (the option BUILT).
 */
public final class KitServer {
    private KitServer() {
    }

    /** The host's entry: installs the kit and its logging, logs, and returns the kit. */
    public static Object start(long[] longs, String[] texts) {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        Logger.getLogger("KitServer").info("construido com " + host.options().get("BUILT"));
        return host;
    }
}
