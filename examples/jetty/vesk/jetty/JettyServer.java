package vesk.jetty;

import java.io.IOException;
import java.time.Duration;
import java.time.Instant;
import java.util.Map;
import java.util.concurrent.atomic.AtomicLong;
import java.util.logging.Level;
import java.util.logging.Logger;
import javax.servlet.http.HttpServlet;
import javax.servlet.http.HttpServletRequest;
import javax.servlet.http.HttpServletResponse;
import org.eclipse.jetty.server.CustomRequestLog;
import org.eclipse.jetty.server.Server;
import org.eclipse.jetty.server.ServerConnector;
import org.eclipse.jetty.servlet.DefaultServlet;
import org.eclipse.jetty.servlet.ServletContextHandler;
import org.eclipse.jetty.servlet.ServletHolder;
import vesk.host.VeskHost;

/**
 * A real Java server under vesk (ENTRY_CLASS=vesk/jetty/JettyServer): Jetty
 * 9.4, from Debian's libjetty9-java, serving the folder WWW ("www" when not
 * given) and a servlet that answers JSON at /api/status, on PORT of the
 * loopback address (option BIND to change it). Jetty's own log goes through
 * the kit into the host's daily log: at VERBOSITY 4 its start and stop lines,
 * warnings and errors, a few lines a day, so a loaded server never spends the
 * host's log budget. The request log, one line per request in the extended
 * NCSA format through the logger JettyServer.acesso, is off unless
 * REQUEST_LOG is on: under load it fills the budget in seconds.
 * SIGTERM stops Jetty, whose stop lines are logged too.
 * <p>
 * WWW, BIND and REQUEST_LOG are not host options: they go in conf/server.ini
 * ({@code WWW=/srv/www}), which the host reads after conf/vesk.ini, or on the
 * command line as pairs ({@code vesk REQUEST_LOG on}), which win over both.
 * The same class runs under plain java, logging to standard error:
 * {@code java -cp 'lib/*' vesk.jetty.JettyServer PORT 8080 VERBOSITY 4 REQUEST_LOG on}.
 */
public final class JettyServer {
    private static final Logger LOG = Logger.getLogger("JettyServer");

    private JettyServer() {
    }

    public static void main(String[] args) throws Exception {
        start(new long[2], args);
    }

    /** Called by the host: starts Jetty and returns it, which keeps running on its own threads. */
    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        VeskHost.captureStandardStreams();
        // Before Jetty's first class: its log goes to java.util.logging.
        System.setProperty("org.eclipse.jetty.util.log.class", "org.eclipse.jetty.util.log.JavaUtilLog");
        Map<String, String> options = host.options();
        String bind = options.getOrDefault("BIND", "127.0.0.1");
        int port = Integer.parseInt(options.getOrDefault("PORT", "8080"));

        Server server = new Server();
        ServerConnector connector = new ServerConnector(server);
        connector.setHost(bind);
        connector.setPort(port);
        server.addConnector(connector);

        ServletContextHandler context = new ServletContextHandler(ServletContextHandler.NO_SESSIONS);
        context.setContextPath("/");
        context.setResourceBase(options.getOrDefault("WWW", "www"));
        context.addServlet(new ServletHolder(new Status()), "/api/status");
        ServletHolder files = new ServletHolder(new DefaultServlet());
        files.setInitParameter("dirAllowed", "false");
        context.addServlet(files, "/");
        server.setHandler(context);

        String requestLog = options.getOrDefault("REQUEST_LOG", "off");
        if (requestLog.equals("on")) {
            Logger requests = Logger.getLogger("JettyServer.acesso");
            server.setRequestLog(new CustomRequestLog(requests::info, CustomRequestLog.EXTENDED_NCSA_FORMAT));
        } else if (!requestLog.equals("off")) {
            throw new IllegalArgumentException("REQUEST_LOG deve ser on ou off, nao '" + requestLog + "'");
        }
        // On SIGTERM the JVM runs Jetty's own hook, which stops it gracefully.
        server.setStopAtShutdown(true);
        server.start();
        LOG.log(Level.INFO, "JettyServer escutando em http://{1}:{2}/",
            new Object[] {0, bind, String.valueOf(connector.getLocalPort())});
        return server;
    }

    /** The server's state as JSON: the JVM it runs in, its heap limit, the requests so far. */
    private static final class Status extends HttpServlet {
        private static final long serialVersionUID = 1L;

        private final transient Instant started = Instant.now();
        private final transient AtomicLong requests = new AtomicLong();

        @Override
        protected void doGet(HttpServletRequest request, HttpServletResponse response) throws IOException {
            String json = "{\"servidor\":\"JettyServer\""
                + ",\"hospedado\":" + VeskHost.hosted()
                + ",\"java\":" + quoted(System.getProperty("java.version"))
                + ",\"vm\":" + quoted(System.getProperty("java.vm.info"))
                + ",\"heapMax\":" + Runtime.getRuntime().maxMemory()
                + ",\"segundos\":" + Duration.between(started, Instant.now()).toSeconds()
                + ",\"pedidos\":" + requests.incrementAndGet() + "}";
            response.setContentType("application/json; charset=utf-8");
            response.getWriter().write(json);
        }

        /** text as a JSON string. */
        private static String quoted(String text) {
            StringBuilder out = new StringBuilder("\"");
            for (char c : String.valueOf(text).toCharArray()) {
                if (c == '"' || c == '\\') {
                    out.append('\\').append(c);
                } else if (c < 0x20) {
                    out.append(String.format("\\u%04x", (int) c));
                } else {
                    out.append(c);
                }
            }
            return out.append('"').toString();
        }
    }
}
