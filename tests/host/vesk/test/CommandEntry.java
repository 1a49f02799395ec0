package vesk.test;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

/**
 * Entry class that writes to command.txt its process id, the command name
 * its JVM was created with, and JAVA_TOOL_OPTIONS as a child process of the
 * server inherits it and as System.getenv reads it ("<unset>" when not set).
 */
public final class CommandEntry {
    private CommandEntry() {
    }

    public static Object start(long[] longs, String[] texts)
            throws IOException, InterruptedException {
        Process child = new ProcessBuilder("/bin/sh", "-c",
            "printf '%s' \"${JAVA_TOOL_OPTIONS-<unset>}\"").redirectErrorStream(true).start();
        String inherited = new String(child.getInputStream().readAllBytes(),
            StandardCharsets.UTF_8);
        child.waitFor();
        Path partial = Path.of("command.txt.part");
        Files.writeString(partial, ProcessHandle.current().pid() + "\n"
            + System.getProperty("sun.java.command") + "\n" + inherited + "\n"
            + System.getenv().getOrDefault("JAVA_TOOL_OPTIONS", "<unset>") + "\n");
        Files.move(partial, Path.of("command.txt"), StandardCopyOption.ATOMIC_MOVE);
        return new Object();
    }
}
