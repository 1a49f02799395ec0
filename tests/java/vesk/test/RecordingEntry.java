package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

/**
 * Entry class that writes what start received to start.txt in the current
 * directory, then logs through the callback it was given, once from the
 * launching thread and once from a thread of its own.
 */
public final class RecordingEntry {
    private RecordingEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws IOException {
        StringBuilder out = new StringBuilder();
        out.append("longs=").append(longs.length).append('\n');
        for (long value : longs) {
            out.append(value).append('\n');
        }
        out.append("texts=").append(texts.length).append('\n');
        for (String text : texts) {
            out.append(text == null ? "<null>" : text).append('\n');
        }
        Path partial = Path.of("start.txt.part");
        Files.writeString(partial, out);
        Files.move(partial, Path.of("start.txt"), StandardCopyOption.ATOMIC_MOVE);

        long callback = longs[0];
        Natives.relay(callback, null, event("started"), null);
        Thread later = new Thread(() -> Natives.relay(callback, null, event("running"), null));
        later.start();
        return new Object();
    }

    private static String[] event(String message) {
        return new String[] {"class", "RecordingEntry", "verbosity", "INFO", "code", "1", "message",
            message};
    }
}
