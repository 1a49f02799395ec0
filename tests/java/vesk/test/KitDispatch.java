package vesk.test;

import java.io.IOException;
import vesk.host.VeskDispatcher;

/** A dispatcher on the kit with one handler per kind of result. */
public final class KitDispatch {
    private KitDispatch() {
    }

    public static Object create(long[] longs, String[] texts) {
        return new VeskDispatcher()
            .on("eco", args -> String.join(",", args))
            .on("bytes", args -> new byte[] {'a', 0, 'b'})
            .on("contar", args -> args.length)
            .on("nulo", args -> null)
            .on("falha", args -> {
                throw new IOException("falhou");
            });
    }
}
