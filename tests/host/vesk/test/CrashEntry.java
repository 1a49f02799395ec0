package vesk.test;

import java.io.IOException;
import java.lang.reflect.Field;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Entry class that crashes the JVM: a write through sun.misc.Unsafe to
 * address 0 (reached by reflection, which the compiler does not warn of).
 * With the option CRASH=report it only writes, as a crash report that never
 * ends would, hs_err_pid&lt;pid&gt;.log in the current folder, and runs on.
 */
public final class CrashEntry {
    private CrashEntry() {
    }

    public static Object start(long[] longs, String[] texts) throws ReflectiveOperationException, IOException {
        for (int i = 0; i + 1 < texts.length && texts[i] != null; i += 2) {
            if (texts[i].equals("CRASH") && "report".equals(texts[i + 1])) {
                Files.writeString(Path.of("hs_err_pid" + ProcessHandle.current().pid() + ".log"), "#\n");
                return texts;
            }
        }
        Class<?> unsafe = Class.forName("sun.misc.Unsafe");
        Field field = unsafe.getDeclaredField("theUnsafe");
        field.setAccessible(true);
        unsafe.getMethod("putAddress", long.class, long.class).invoke(field.get(null), 0L, 0L);
        return texts;
    }
}
