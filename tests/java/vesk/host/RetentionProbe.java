package vesk.host;

import java.nio.file.Files;
import java.nio.file.Path;
import vesk.test.KitEntry;

/**
 * Entry class in the kit's own package, so that it can run the log
 * retention every PERIOD milliseconds instead of once a day: removes the
 * files of 2 days or more through the public call, then schedules the same
 * twice (the second replaces the first), and writes what it saw to
 * probe.txt, then done.txt.
 */
public final class RetentionProbe {
    private RetentionProbe() {
    }

    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        int removed = host.deleteOldLogs(2);
        long period = Long.parseLong(host.options().get("PERIOD"));
        LogRetention.keep(host, 2, period);
        LogRetention.keep(host, 2, period);
        String seen = "removed=" + removed + " " + KitEntry.retentionThreads();
        Files.writeString(Path.of("probe.txt"), seen + "\n");
        Files.writeString(Path.of("done.txt"), "done\n");
        return host;
    }
}
