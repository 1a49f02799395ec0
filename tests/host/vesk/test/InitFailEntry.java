package vesk.test;

/**
 * Entry class that uses a class whose static initialiser fails: the first
 * use gets that failure, which it drops, and the second the JVM's refusal
 * to use the class at all.
 */
public final class InitFailEntry {
    private InitFailEntry() {
    }

    /** Never initialised. */
    static final class Broken {
        static final int VALUE = fail();

        private Broken() {
        }

        private static int fail() {
            throw new IllegalStateException("inicializador");
        }
    }

    public static Object start(long[] longs, String[] texts) {
        try {
            return Broken.VALUE;
        } catch (ExceptionInInitializerError first) {
            return Broken.VALUE;
        }
    }
}
