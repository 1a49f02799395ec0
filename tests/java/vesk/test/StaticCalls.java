package vesk.test;

import java.nio.charset.StandardCharsets;

/** Static methods of every shape the call wrappers reach, with their odd cases. */
public final class StaticCalls {
    private StaticCalls() {
    }

    public static Object echo(long[] longs, String[] texts) {
        return Describe.of(longs, texts);
    }

    public static Object nothing(long[] longs, String[] texts) {
        return null;
    }

    public static Object fail(long[] longs, String[] texts) {
        throw new IllegalStateException("fail");
    }

    /** The first text as a number, -1 for a null array. */
    public static long parse(String[] texts) {
        return texts == null ? -1 : Long.parseLong(texts[0]);
    }

    public static long failLong(String[] texts) {
        throw new IllegalStateException("fail");
    }

    public static int narrow(String[] texts) {
        return 1;
    }

    /** Runs the garbage collector; 0. */
    public static long collect(String[] texts) {
        System.gc();
        return 0;
    }

    public static String join(String[] texts) {
        return Describe.of(null, texts);
    }

    public static String emptyString(String[] texts) {
        return "";
    }

    public static String nullString(String[] texts) {
        return null;
    }

    public static String failString(String[] texts) {
        throw new IllegalStateException("fail");
    }

    public static byte[] bytes(String[] texts) {
        return Describe.of(null, texts).getBytes(StandardCharsets.UTF_8);
    }

    /** Bytes with zeros and a high byte inside. */
    public static byte[] binary(String[] texts) {
        return new byte[] {0, 1, (byte) 0xff, 0};
    }

    public static byte[] emptyBytes(String[] texts) {
        return new byte[0];
    }

    public static byte[] nullBytes(String[] texts) {
        return null;
    }
}
