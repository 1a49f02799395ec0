package vesk.host;

import java.nio.charset.StandardCharsets;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

/**
 * The Java side of the generic call protocol: native code calls
 * {@link #callStringMethod} or {@link #callBytesMethod} with a String[] that
 * holds the key "method" and an operation name, followed by its own texts,
 * and the handler registered under that name answers.
 *
 * <p>A handler receives the texts without the "method" pair and may return a
 * String, a byte[] (either is converted as UTF-8 to what the call needs),
 * another object (its toString()) or null (the native caller then gets no
 * result). An operation with no handler, or texts without a "method" key,
 * throw UnsupportedOperationException naming it: through the bridge the native
 * caller gets NULL (or 0 bytes) and "Error call callStringMethod -4", and the
 * JVM reports the exception on standard error. Handlers may be registered
 * while calls run; a handler runs on the caller's thread.
 */
public class VeskDispatcher {
    /** One operation: its result for the caller's texts. */
    @FunctionalInterface
    public interface Handler {
        /**
         * Answers one call.
         *
         * @param args the caller's texts without the "method" pair
         * @return a String, a byte[], another object (its toString()) or null for no result
         * @throws Exception any failure, which the native caller sees as no result
         */
        Object call(String[] args) throws Exception;
    }

    private final Map<String, Handler> handlers = new ConcurrentHashMap<>();

    /** A dispatcher with no operation registered yet. */
    public VeskDispatcher() {
    }

    /**
     * Registers handler for the operation name, replacing an earlier one.
     *
     * @param name the operation's name, the value of "method" in the calls
     * @param handler what answers the operation
     * @return this dispatcher
     * @throws IllegalArgumentException when name or handler is null
     */
    public VeskDispatcher on(String name, Handler handler) {
        if (name == null || handler == null) {
            throw new IllegalArgumentException("name and handler are required");
        }
        handlers.put(name, handler);
        return this;
    }

    /**
     * Called by the bridge: the handler's result as a String.
     *
     * @param texts key/value texts holding "method" and the operation's name
     * @return the result, or null for none
     * @throws Exception what the handler throws, or UnsupportedOperationException for an unknown operation
     */
    public String callStringMethod(String[] texts) throws Exception {
        Object result = dispatch(texts);
        if (result == null || result instanceof String) {
            return (String) result;
        }
        if (result instanceof byte[]) {
            return new String((byte[]) result, StandardCharsets.UTF_8);
        }
        return result.toString();
    }

    /**
     * Called by the bridge: the handler's result as bytes.
     *
     * @param texts key/value texts holding "method" and the operation's name
     * @return the result, or null for none
     * @throws Exception what the handler throws, or UnsupportedOperationException for an unknown operation
     */
    public byte[] callBytesMethod(String[] texts) throws Exception {
        Object result = dispatch(texts);
        if (result == null || result instanceof byte[]) {
            return (byte[]) result;
        }
        return result.toString().getBytes(StandardCharsets.UTF_8);
    }

    /** Finds the "method" pair (at an even index, the first one wins) and calls its handler. */
    private Object dispatch(String[] texts) throws Exception {
        int at = -1;
        for (int i = 0; texts != null && i + 1 < texts.length; i += 2) {
            if ("method".equals(texts[i])) {
                at = i;
                break;
            }
        }
        if (at < 0) {
            throw new UnsupportedOperationException("chave 'method' ausente");
        }
        String name = texts[at + 1];
        Handler handler = name == null ? null : handlers.get(name);
        if (handler == null) {
            throw new UnsupportedOperationException("metodo '" + name + "' nao registrado");
        }
        String[] args = new String[texts.length - 2];
        System.arraycopy(texts, 0, args, 0, at);
        System.arraycopy(texts, at + 2, args, at, texts.length - at - 2);
        return handler.call(args);
    }
}
