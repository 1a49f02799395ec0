package vesk.test;

import com.sun.management.HotSpotDiagnosticMXBean;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

/**
 * Entry class that writes to command.txt, one per line: its process id, the
 * command name its JVM was created with, JAVA_TOOL_OPTIONS as a child process
 * of the server inherits it and as System.getenv reads it ("<unset>" when not
 * set), java.vm.info, the thread stack size in KB that the JVM took, and the
 * property vesk.teste ("<unset>" when not set).
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
        String stack = ManagementFactory.getPlatformMXBean(HotSpotDiagnosticMXBean.class)
            .getVMOption("ThreadStackSize").getValue();
        Path partial = Path.of("command.txt.part");
        Files.writeString(partial, ProcessHandle.current().pid() + "\n"
            + System.getProperty("sun.java.command") + "\n" + inherited + "\n"
            + System.getenv().getOrDefault("JAVA_TOOL_OPTIONS", "<unset>") + "\n"
            + System.getProperty("java.vm.info") + "\n" + stack + "\n"
            + System.getProperty("vesk.teste", "<unset>") + "\n");
        Files.move(partial, Path.of("command.txt"), StandardCopyOption.ATOMIC_MOVE);
        return new Object();
    }
}
