/**
 * The kit a Java server uses to run inside the vesk host: the host starts
 * the JVM in its own process, calls the server's entry class and writes the
 * server's log lines into its daily log, log/monitor_YYYYMMDD.log.
 *
 * <p>What a server calls, in order:
 * <ol>
 * <li>{@link vesk.host.VeskHost#install(long[], String[])} first thing in its
 * {@code start(long[], String[])}, with the two arrays start received: the
 * host object, which reaches the host's log and its options;</li>
 * <li>{@link vesk.host.VeskHost#installLogging()}: java.util.logging and
 * System.Logger then write into the host's log, SLF4J and other libraries
 * that log through java.util.logging too, and a thread that an uncaught
 * exception ends is logged;</li>
 * <li>optionally {@link vesk.host.VeskHost#captureStandardStreams()}: the
 * lines of System.out and System.err become log lines too;</li>
 * <li>{@link vesk.host.VeskHost#log(String, String, String, String)} (or a
 * logger) for its own lines, "class|LEVEL|code|message";</li>
 * <li>{@link vesk.host.VeskHost#exit(int, String)} when the server stops
 * itself: the host never exits on its own.</li>
 * </ol>
 *
 * <p>The levels, from the most to the least severe: FATAL, ERROR, WARN, INFO,
 * DEBUG, numbered 1 to 5; the host writes a line when its level's number is
 * at most its threshold, VERBOSITY in its ini file (0, NONE, writes none).
 * java.util.logging's SEVERE gives ERROR, WARNING gives WARN, INFO and CONFIG
 * give INFO, FINE and below give DEBUG.
 *
 * <p>Compile the server against vesk-java.jar, but do not ship it: the host
 * puts its own on the class path, with the native half (the library
 * vesk_java) that it matches, at run time. Without the host (a test, an IDE,
 * plain java) the same calls write their lines to standard error.
 * {@link vesk.host.VeskDispatcher} answers the generic calls that native code
 * makes into the server.
 */
package vesk.host;
