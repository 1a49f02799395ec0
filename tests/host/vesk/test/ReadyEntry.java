package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Entry class for the reports to the service manager: start writes
 * started.txt and waits until the test writes go.txt; then, by the parameter
 * MODE, it returns ("stay"), throws ("throw"), or returns and leaves a thread
 * that calls System.exit(0) once the test writes exit.txt ("exit").
 */
public final class ReadyEntry {
    private ReadyEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws IOException {
        String mode = "stay";
        for (int k = 0; k + 1 < texts.length; k += 2) {
            if ("MODE".equals(texts[k])) {
                mode = texts[k + 1];
            }
        }
        Files.writeString(Path.of("started.txt"), "ok\n");
        awaitFile("go.txt");
        if (mode.equals("throw")) {
            throw new IllegalStateException("start refused");
        }
        if (mode.equals("exit")) {
            new Thread(() -> {
                awaitFile("exit.txt");
                System.exit(0);
            }).start();
        }
        return new Object();
    }

    /** Polls for the file the test writes, for a minute at most. */
    private static void awaitFile(String name) {
        for (int n = 0; n < 3000 && !Files.exists(Path.of(name)); n++) {
            try {
                Thread.sleep(20);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }
}
