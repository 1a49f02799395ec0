package vesk.test;

import java.nio.charset.StandardCharsets;

/** Object made through the (long[], String[]) constructor, with instance methods of each shape. */
public final class Target {
    private final String made;

    public Target(long[] longs, String[] texts) {
        made = Describe.of(longs, texts);
    }

    public String made(String[] texts) {
        return made;
    }

    public long int64(String[] texts) {
        return texts == null ? -1 : Long.parseLong(texts[0]);
    }

    public long failLong(String[] texts) {
        throw new IllegalStateException("fail");
    }

    public int narrow(String[] texts) {
        return 1;
    }

    public String string(String[] texts) {
        return Describe.of(null, texts);
    }

    public String emptyString(String[] texts) {
        return "";
    }

    public String nullString(String[] texts) {
        return null;
    }

    public String failString(String[] texts) {
        throw new IllegalStateException("fail");
    }

    public byte[] bytes(String[] texts) {
        return Describe.of(null, texts).getBytes(StandardCharsets.UTF_8);
    }

    public byte[] emptyBytes(String[] texts) {
        return new byte[0];
    }

    public byte[] nullBytes(String[] texts) {
        return null;
    }
}
