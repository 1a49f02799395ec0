package vesk.demo;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpServer;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.time.Instant;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.atomic.AtomicLong;

/**
 * Demo entry class: serves a plain-text status page listing the options it
 * was started with, on PORT of the loopback address (option BIND to change
 * it), and logs its start and every request through the host.
 */
public final class StatusServer {
    /** Options whose values identify a customer; the page shows them masked. */
    private static final Set<String> SECRET = Set.of("cnpj", "cod_cliente");

    private final Map<String, String> options;
    private final HostLog log;
    private final Instant started = Instant.now();
    private final AtomicLong requests = new AtomicLong();

    private StatusServer(Map<String, String> options, HostLog log) {
        this.options = options;
        this.log = log;
    }

    /** Called by the host: longs[0] is the log callback, texts the options as key/value pairs. */
    public static Object start(long[] longs, String[] texts) throws IOException {
        Map<String, String> options = pairs(texts);
        HostLog.load(options.getOrDefault("library", "vesk_demo"));
        HostLog log = new HostLog(longs);
        String bind = options.getOrDefault("BIND", "127.0.0.1");
        int port;
        try {
            port = Integer.parseInt(options.getOrDefault("PORT", "9000"));
        } catch (NumberFormatException e) {
            log.log("FATAL", "1", "PORT invalido: " + options.get("PORT"));
            throw e;
        }
        StatusServer status = new StatusServer(options, log);
        HttpServer server;
        try {
            server = HttpServer.create(new InetSocketAddress(bind, port), 0);
        } catch (IOException e) {
            log.log("FATAL", "1", "Falha ao tentar escutar em " + bind + ":" + port + ": " + e);
            throw e;
        }
        ExecutorService workers = Executors.newFixedThreadPool(4);
        server.setExecutor(workers);
        server.createContext("/", status::handle);
        server.start();
        log.log("INFO", "0", "StatusServer escutando em http://" + bind + ":" + port + "/");
        return server;
    }

    /** The key/value pairs up to the first null slot; a later key wins. */
    private static Map<String, String> pairs(String[] texts) {
        Map<String, String> options = new LinkedHashMap<>();
        for (int i = 0; texts != null && i + 1 < texts.length; i += 2) {
            if (texts[i] == null || texts[i + 1] == null) {
                break;
            }
            options.put(texts[i], texts[i + 1]);
        }
        return options;
    }

    private void handle(HttpExchange exchange) throws IOException {
        long number = requests.incrementAndGet();
        String method = exchange.getRequestMethod();
        String target = exchange.getRequestURI().toString();
        String peer = exchange.getRemoteAddress().getAddress().getHostAddress();
        int code = "GET".equals(method) || "HEAD".equals(method) ? 200 : 405;
        byte[] body = code == 200 ? page(number).getBytes(StandardCharsets.UTF_8)
                                  : "metodo nao permitido\n".getBytes(StandardCharsets.UTF_8);
        exchange.getResponseHeaders().set("Content-Type", "text/plain; charset=utf-8");
        if ("HEAD".equals(method)) {
            exchange.sendResponseHeaders(code, -1);
        } else {
            exchange.sendResponseHeaders(code, body.length);
            try (OutputStream out = exchange.getResponseBody()) {
                out.write(body);
            }
        }
        exchange.close();
        log.log("INFO", String.valueOf(code), method + " " + target + " de " + peer);
    }

    private String page(long number) {
        StringBuilder out = new StringBuilder();
        out.append("VESK - Service: StatusServer\n\n");
        out.append("em execucao ha ").append(Duration.between(started, Instant.now()).toSeconds())
            .append(" s\n");
        out.append("requisicao numero ").append(number).append("\n\nOpcoes:\n");
        for (Map.Entry<String, String> option : options.entrySet()) {
            String value = option.getValue();
            if (SECRET.contains(option.getKey()) && !value.isEmpty()) {
                value = "***";
            }
            out.append("  ").append(option.getKey()).append(" = ").append(value).append('\n');
        }
        return out.toString();
    }
}
