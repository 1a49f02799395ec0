package vesk.demo;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpServer;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.time.Instant;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.atomic.AtomicLong;
import java.util.logging.Level;
import java.util.logging.Logger;
import vesk.host.VeskHost;

/**
 * Demo entry class: serves a plain-text status page listing the options it
 * was started with, on PORT of the loopback address (option BIND to change
 * it), and logs its start and every request through the host with
 * java.util.logging.
 */
public final class StatusServer {
    /** Options whose values identify a customer; the page shows them masked. */
    private static final Set<String> SECRET = Set.of("cnpj", "cod_cliente");

    private static final Logger LOG = Logger.getLogger("StatusServer");

    private final Map<String, String> options;
    private final Instant started = Instant.now();
    private final AtomicLong requests = new AtomicLong();

    private StatusServer(Map<String, String> options) {
        this.options = options;
    }

    /**
     * Called by the host: longs[0] is the log relay, texts the options as
     * key/value pairs. The kit takes both; from then on java.util.logging
     * writes to the host's daily log, with the first Integer parameter as the
     * line's code.
     */
    public static Object start(long[] longs, String[] texts) throws IOException {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        Map<String, String> options = host.options();
        String bind = options.getOrDefault("BIND", "127.0.0.1");
        int port;
        try {
            port = Integer.parseInt(options.getOrDefault("PORT", "9000"));
        } catch (NumberFormatException e) {
            LOG.log(Level.SEVERE, "PORT invalido: {1}", new Object[] {1, options.get("PORT")});
            throw e;
        }
        HttpServer server;
        try {
            server = HttpServer.create(new InetSocketAddress(bind, port), 0);
        } catch (IOException e) {
            LOG.log(Level.SEVERE, "Falha ao tentar escutar em " + bind + ":" + port, e);
            throw e;
        }
        ExecutorService workers = Executors.newFixedThreadPool(4);
        server.setExecutor(workers);
        server.createContext("/", new StatusServer(options)::handle);
        server.start();
        LOG.log(Level.INFO, "StatusServer escutando em http://{1}:{2}/",
            new Object[] {0, bind, String.valueOf(port)});
        return server;
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
        LOG.log(Level.INFO, "{1} {2} de {3}", new Object[] {code, method, target, peer});
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
