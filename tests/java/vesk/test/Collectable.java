package vesk.test;

import java.lang.ref.WeakReference;

/**
 * Tells whether the last object it handed to native code can still be
 * collected, and runs a native handler inside a native method of a Java
 * thread, where the bridge cannot detach.
 */
public final class Collectable {
    private static WeakReference<Object> last = new WeakReference<>(null);

    private Collectable() {
    }

    public static String fresh(String[] texts) {
        String made = new String("fresh");
        last = new WeakReference<>(made);
        return made;
    }

    /** 1 when a collection freed the last fresh object, 0 while something still holds it. */
    public static long collected(String[] texts) {
        System.gc();
        return last.get() == null ? 1 : 0;
    }

    /** Calls the handler at longs[0] from a native method; its result as text. */
    public static Object inNative(long[] longs, String[] texts) {
        return Integer.toString(Natives.relay(longs[0], null, texts, null));
    }
}
