package vesk.example;

/**
 * Entry class for vesk (ENTRY_CLASS=vesk/example/NativeModule) that hands
 * the host's log relay, the option URL and the option DIR to its native
 * module, which uses the support library straight from the executable.
 */
public final class NativeModule {
    static {
        System.loadLibrary("vesk_example_module");
    }

    private NativeModule() {
    }

    private static native int run(long relay, String url, String dir);

    public static Object start(long[] longs, String[] texts) {
        run(longs[0], option(texts, "URL"), option(texts, "DIR"));
        return new Object();
    }

    /** The value of the option name in the key/value list, or "". */
    private static String option(String[] texts, String name) {
        for (int i = 0; i + 1 < texts.length && texts[i] != null; i += 2) {
            if (texts[i].equals(name)) {
                return texts[i + 1];
            }
        }
        return "";
    }
}
