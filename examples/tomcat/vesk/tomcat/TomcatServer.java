package vesk.tomcat;

import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.CharArrayWriter;
import java.io.File;
import java.io.IOException;
import java.time.Duration;
import java.time.Instant;
import java.util.Map;
import java.util.concurrent.atomic.AtomicLong;
import java.util.logging.Level;
import java.util.logging.Logger;
import org.apache.catalina.LifecycleException;
import org.apache.catalina.connector.Connector;
import org.apache.catalina.core.StandardContext;
import org.apache.catalina.servlets.DefaultServlet;
import org.apache.catalina.startup.Tomcat;
import org.apache.catalina.valves.AbstractAccessLogValve;
import vesk.host.VeskHost;

/**
 * A second real Java server under vesk (ENTRY_CLASS=vesk/tomcat/TomcatServer):
 * embedded Tomcat 10.1, from Debian's libtomcat10-embed-java, serving the
 * folder WWW ("www" when not given) and a servlet that answers JSON at
 * /api/status, on PORT of the loopback address (option BIND to change it).
 * Tomcat logs through java.util.logging by itself, so the kit takes its lines
 * into the host's daily log. The request log, one line per request in the
 * combined format through the logger TomcatServer.acesso, is off unless
 * REQUEST_LOG is on. Tomcat keeps its working files in tomcat/ in the current
 * directory. SIGTERM stops Tomcat, whose stop lines are logged too. Its class
 * path: Tomcat's core jar, which carries the jakarta.servlet API, and
 * jakarta-annotation-api.jar, which Tomcat needs to start a context.
 * <p>
 * WWW, BIND and REQUEST_LOG go on the command line as pairs, as for the Jetty
 * example. Under plain java the same class logs to standard error:
 * {@code java -cp 'lib/*' vesk.tomcat.TomcatServer PORT 8080 VERBOSITY 4}.
 */
public final class TomcatServer {
    private static final Logger LOG = Logger.getLogger("TomcatServer");

    private TomcatServer() {
    }

    public static void main(String[] args) throws Exception {
        start(new long[2], args);
    }

    /** Called by the host: starts Tomcat and returns it, which keeps running on its own threads. */
    public static Object start(long[] longs, String[] texts) throws Exception {
        VeskHost host = VeskHost.install(longs, texts);
        VeskHost.installLogging();
        VeskHost.captureStandardStreams();
        Map<String, String> options = host.options();
        String bind = options.getOrDefault("BIND", "127.0.0.1");
        int port = Integer.parseInt(options.getOrDefault("PORT", "8080"));

        Tomcat tomcat = new Tomcat();
        tomcat.setBaseDir("tomcat");
        Connector connector = new Connector();
        connector.setProperty("address", bind);
        connector.setPort(port);
        // A port that cannot be bound fails the start, rather than leave a server that listens nowhere.
        connector.setThrowOnFailure(true);
        tomcat.setConnector(connector);

        String www = new File(options.getOrDefault("WWW", "www")).getAbsolutePath();
        StandardContext context = (StandardContext) tomcat.addContext("", www);
        // A web application's leak protection has nothing to do in a server that ends with its
        // process; left on, it warns at each stop that the JVM lacks --add-opens options.
        context.setClearReferencesObjectStreamClassCaches(false);
        context.setClearReferencesRmiTargets(false);
        context.setClearReferencesThreadLocals(false);
        Tomcat.addDefaultMimeTypeMappings(context);
        context.addWelcomeFile("index.html");
        Tomcat.addServlet(context, "status", new Status());
        context.addServletMapping("/api/status", "status");
        Tomcat.addServlet(context, "arquivos", new DefaultServlet());
        context.addServletMapping("/", "arquivos");

        String requestLog = options.getOrDefault("REQUEST_LOG", "off");
        if (requestLog.equals("on")) {
            Logger requests = Logger.getLogger("TomcatServer.acesso");
            AbstractAccessLogValve valve = new AbstractAccessLogValve() {
                @Override
                protected void log(CharArrayWriter message) {
                    requests.info(message.toString());
                }
            };
            valve.setPattern("combined");
            tomcat.getHost().getPipeline().addValve(valve);
        } else if (!requestLog.equals("off")) {
            throw new IllegalArgumentException("REQUEST_LOG deve ser on ou off, nao '" + requestLog + "'");
        }
        tomcat.start();
        // Embedded Tomcat has no stop hook of its own: on SIGTERM the JVM runs this one.
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            try {
                tomcat.stop();
                tomcat.destroy();
            } catch (LifecycleException e) {
                LOG.log(Level.SEVERE, "TomcatServer nao parou", e);
            }
        }, "TomcatServer.stop"));
        LOG.log(Level.INFO, "TomcatServer escutando em http://{1}:{2}/",
            new Object[] {0, bind, String.valueOf(connector.getLocalPort())});
        return tomcat;
    }

    /** The server's state as JSON: the JVM it runs in, its heap limit, the requests so far. */
    private static final class Status extends HttpServlet {
        private static final long serialVersionUID = 1L;

        private final transient Instant started = Instant.now();
        private final transient AtomicLong requests = new AtomicLong();

        @Override
        protected void doGet(HttpServletRequest request, HttpServletResponse response) throws IOException {
            String json = "{\"servidor\":\"TomcatServer\""
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
