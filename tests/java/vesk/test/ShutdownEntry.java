package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Entry class whose shutdown hook logs through the relay: shows that the
 * JVM inside the host runs the Java side's hooks when the process is told
 * to stop. Writes started.txt once the hook is registered.
 */
public final class ShutdownEntry {
    private ShutdownEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws IOException {
        long callback = longs[0];
        Runtime.getRuntime().addShutdownHook(new Thread(() -> Natives.relay(callback, null,
            new String[] {"class", "ShutdownEntry", "verbosity", "INFO", "code", "0", "message",
                "parando"}, null)));
        Files.writeString(Path.of("started.txt"), "ok\n");
        return new Object();
    }
}
