package vesk.test;

import java.util.Arrays;

/** Arguments as one text, so that native tests can see exactly what arrived. */
final class Describe {
    private Describe() {
    }

    static String of(long[] longs, String[] texts) {
        return "longs=" + Arrays.toString(longs) + " texts=" + Arrays.toString(texts);
    }
}
