package vesk.test;

import java.util.logging.Logger;
import vesk.host.VeskHost;
import vesk.host.VeskLogHandler;

/**
 * Two loggers, each with a VeskLogHandler of its own, whose lines a relay of
 * the test's refuses: "abrir" as if no file opened, "gravar" as if the write
 * failed.
 */
public final class KitLoss {
    private KitLoss() {
    }

    public static Object run(long[] longs, String[] texts) {
        VeskHost host = VeskHost.install(longs, texts);
        Logger[] logs = {Logger.getLogger("kit.A"), Logger.getLogger("kit.B")};
        for (Logger log : logs) {
            log.setUseParentHandlers(false);
            log.addHandler(new VeskLogHandler(host));
        }
        for (String message : new String[] {"abrir", "abrir", "gravar", "gravar", "abrir"}) {
            for (Logger log : logs) {
                log.severe(message);
            }
        }
        return host;
    }
}
