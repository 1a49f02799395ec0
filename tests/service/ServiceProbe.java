package vesk.servicetest;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.demo.StatusServer;

/**
 * Entry class of the service test: the demo server, plus what a service must
 * allow and forbid, told through the log: a file written in the working
 * folder, a refused write into conf/, and a line from a shutdown hook.
 */
public final class ServiceProbe {
    private static final Logger LOG = Logger.getLogger("ServiceProbe");

    private ServiceProbe() {
    }

    public static Object start(long[] longs, String[] texts) throws IOException {
        Object server = StatusServer.start(longs, texts);
        Files.writeString(Path.of("estado.txt"), "ok\n");
        LOG.log(Level.INFO, "estado gravado", new Object[] {0});
        try {
            Files.writeString(Path.of("conf", "gravado.txt"), "nao\n");
            LOG.log(Level.INFO, "conf gravavel", new Object[] {0});
        } catch (IOException e) {
            LOG.log(Level.INFO, "conf somente leitura", new Object[] {0});
        }
        Runtime.getRuntime().addShutdownHook(new Thread(
            () -> LOG.log(Level.INFO, "encerrando", new Object[] {0})));
        return server;
    }
}
