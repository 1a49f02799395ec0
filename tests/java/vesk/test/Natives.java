package vesk.test;

/** The test library's native entry: hands its arrays to the bridge's generic callback. */
public final class Natives {
    static {
        System.loadLibrary("vesk_test_natives");
    }

    private Natives() {
    }

    /** Calls the native handler at address with the arrays converted; its result. */
    public static native int relay(long address, long[] longs, String[] texts, byte[][] blobs);
}
