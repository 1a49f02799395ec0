package vesk.test;

import java.nio.file.Files;
import java.nio.file.Path;
import org.slf4j.Logger;
import org.slf4j.LoggerFactory;
import vesk.host.VeskHost;

/**
 * Entry class that logs through SLF4J, as a server built on a library that
 * uses it would: the kit's logging installed, then one line at each SLF4J
 * level from each of the loggers "slf4j.Servidor", "slf4j.Ruidoso" and
 * "slf4j.Mudo", then done.txt in the current directory. SLF4J finds its
 * binding on the class path (slf4j-jdk14 sends it to java.util.logging, and
 * so to the host).
 */
public final class Slf4jEntry {
    private Slf4jEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        VeskHost.captureStandardStreams();
        for (String name : new String[] {"slf4j.Servidor", "slf4j.Ruidoso", "slf4j.Mudo"}) {
            Logger logger = LoggerFactory.getLogger(name);
            logger.error("erro {}", name);
            logger.warn("aviso {}", name);
            logger.info("info {}", name);
            logger.debug("debug {}", name);
            logger.trace("trace {}", name);
        }
        Files.writeString(Path.of("done.txt"), "done\n");
        return host;
    }
}
