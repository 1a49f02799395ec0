package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Map;
import java.util.TreeMap;

/**
 * The texts of the encoding cases as Java must see them, by case name.
 * Native code sends each case's bytes and this class compares what arrived
 * code unit by code unit; it also hands the strings back, for native code to
 * compare their bytes.
 */
public final class Encoding {
    private static final Map<String, String> EXPECTED = new TreeMap<>(Map.of(
        "ascii", "plain text",
        "latin1", "a\u00e7\u00e3o \u00e9 \u00ff",
        "utf8-2", "a\u00e7\u00e3o",
        "utf8-3", "\u20ac \u4e2d",
        "utf8-4", "a\ud83d\ude00b",
        "invalid", "\u00e2\u0082x \u00c0\u0080 \u00ed\u00a0\u00bd \u00f4\u0090\u0080\u0080 \u0080 "
            + "\u00ff \u00f0\u009f\u0098",
        // From conf/vesk.ini, written in Latin-1.
        "PATH", "C:\\Servi\u00e7os"));

    /** Strings that only Java can make: a NUL inside, lone surrogates. */
    private static final Map<String, String> JAVA_ONLY = Map.of(
        "nul", "a\u0000b",
        "lone", "x\ud800y\udc00z\ud800");

    private Encoding() {
    }

    /**
     * Compares the values of the key/value pairs whose key names a case:
     * "ok" and the number compared when each is the expected string,
     * otherwise each difference with the code units of both.
     */
    public static String check(String[] pairs) {
        StringBuilder differences = new StringBuilder();
        int compared = 0;
        for (int i = 0; i + 1 < pairs.length && pairs[i] != null; i += 2) {
            String expected = EXPECTED.get(pairs[i]);
            if (expected == null) {
                continue;
            }
            ++compared;
            if (!expected.equals(pairs[i + 1])) {
                differences.append(pairs[i]).append(": got ").append(units(pairs[i + 1]))
                    .append(" expected ").append(units(expected)).append('\n');
            }
        }
        return differences.length() == 0 ? "ok " + compared : differences.toString();
    }

    /** The string of the case named by texts[0]. */
    public static String text(String[] texts) {
        return JAVA_ONLY.getOrDefault(texts[0], EXPECTED.get(texts[0]));
    }

    /**
     * Entry class: writes check's report on what start received to
     * encoding.txt in the current directory, then logs each case's string
     * through the callback, as the message of an event whose code is the
     * case's name.
     */
    public static Object start(long[] longs, String[] texts) throws IOException {
        Path partial = Path.of("encoding.txt.part");
        Files.writeString(partial, check(texts));
        Files.move(partial, Path.of("encoding.txt"), StandardCopyOption.ATOMIC_MOVE);
        for (Map.Entry<String, String> entry : EXPECTED.entrySet()) {
            Natives.relay(longs[0], null, new String[] {"class", "Encoding", "verbosity", "INFO",
                "code", entry.getKey(), "message", entry.getValue()}, null);
        }
        return new Object();
    }

    /** A method whose name is not ASCII. */
    public static String a\u00e7\u00e3o(String[] texts) {
        return "a\u00e7\u00e3o";
    }

    /** A method whose name holds a character outside the BMP. */
    public static String x\ud835\udc65(String[] texts) {
        return "x\ud835\udc65";
    }

    private static String units(String text) {
        if (text == null) {
            return "null";
        }
        StringBuilder out = new StringBuilder("[");
        for (int i = 0; i < text.length(); ++i) {
            out.append(i == 0 ? "" : " ").append(String.format("%04x", (int) text.charAt(i)));
        }
        return out.append(']').toString();
    }
}
