package vesk.test;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Entry class for the HTTP client inside the host: start writes http.txt
 * with whether libcurl is mapped into the process before any transfer, the
 * results of the first transfers, made by the native probe from several
 * threads at once to the URL parameter, and whether libcurl is mapped after.
 */
public final class HttpEntry {
    static {
        System.loadLibrary("curl_init_probe");
    }

    private HttpEntry() {
    }

    /** GETs of url from count threads released together; their results, blank-separated. */
    private static native String firstTransfers(String url, int count);

    public static Object start(long[] longs, String[] texts) throws IOException {
        String url = "";
        for (int k = 0; k + 1 < texts.length; k += 2) {
            if ("URL".equals(texts[k])) {
                url = texts[k + 1];
            }
        }
        String before = mapped();
        String results = firstTransfers(url, 4);
        Files.writeString(Path.of("http.txt"),
                "before " + before + "\nresults " + results + "\nafter " + mapped() + "\n");
        return new Object();
    }

    /** "libcurl" when a libcurl is mapped into the process, else "none". */
    private static String mapped() throws IOException {
        return Files.readString(Path.of("/proc/self/maps")).contains("/libcurl.so") ? "libcurl" : "none";
    }
}
