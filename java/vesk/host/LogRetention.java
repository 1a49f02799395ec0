package vesk.host;

import java.util.Map;
import java.util.concurrent.ScheduledFuture;
import java.util.concurrent.ScheduledThreadPoolExecutor;
import java.util.concurrent.TimeUnit;

/**
 * Removes the host's old daily log files on the server's behalf, for systems
 * where no service of the operating system does it: the number of days comes
 * from the option LOG_DAYS that start received or, without it, from the
 * system property vesk.logDays, and one daemon thread of the kit runs the
 * host's deletion at once and then once a day.
 */
final class LogRetention {
    /** The option that sets the number of days. */
    static final String OPTION = "LOG_DAYS";

    /** The system property read when the option is not given. */
    static final String PROPERTY = "vesk.logDays";

    /** The name of the kit's retention thread, as a thread dump shows it. */
    static final String THREAD = "vesk-log-retention";

    /** How often the files are judged again. */
    static final long DAY_MILLIS = TimeUnit.DAYS.toMillis(1);

    /** How long the process's exit waits for a run in progress. */
    private static final long STOP_WAIT_SECONDS = 5;

    /** The one executor of the process, made on first use; guarded by the class. */
    private static ScheduledThreadPoolExecutor executor;

    /** The schedule in force, replaced by a later install; guarded by the class. */
    private static ScheduledFuture<?> schedule;

    private LogRetention() {
    }

    /**
     * Starts the daily removal for host when options or the system property
     * give a number of days; a value that is not a whole number from 1 to
     * Integer.MAX_VALUE is refused with one log line, and nothing is removed.
     * Never throws.
     */
    static void start(VeskHost host, Map<String, String> options) {
        try {
            String name = OPTION;
            String text = options.get(OPTION);
            if (text == null) {
                name = PROPERTY;
                text = System.getProperty(PROPERTY);
            }
            if (text == null) {
                return;
            }
            int days = parse(text);
            if (days < 1) {
                host.log(VeskHost.KIT_CLASS, "ERROR", "0", "Valor invalido em " + name + ": '" + text
                    + "' (deve ser um numero inteiro de dias de 1 a " + Integer.MAX_VALUE
                    + "); nenhum log sera removido.");
                return;
            }
            keep(host, days, DAY_MILLIS);
        } catch (RuntimeException e) {
            host.log(VeskHost.KIT_CLASS, "ERROR", "0", "Falha ao tentar agendar a remocao de logs antigos: " + e);
        }
    }

    /**
     * Runs host.deleteOldLogs(days) now and then every periodMillis on the
     * kit's one daemon thread, in place of the schedule of an earlier call.
     * A run that fails never ends the thread; after a host that cannot delete
     * at all, the later runs do nothing.
     */
    static synchronized void keep(VeskHost host, int days, long periodMillis) {
        if (executor == null) {
            executor = new ScheduledThreadPoolExecutor(1, task -> {
                Thread thread = new Thread(task, THREAD);
                thread.setDaemon(true);
                return thread;
            });
            executor.setRemoveOnCancelPolicy(true);
            // A run inside the host's deletion when the process exits would
            // race the host's own exit: let it end first, and start no other.
            ScheduledThreadPoolExecutor started = executor;
            Runtime.getRuntime().addShutdownHook(new Thread(() -> stop(started), THREAD + "-stop"));
        }
        if (schedule != null) {
            schedule.cancel(false);
        }
        schedule = executor.scheduleWithFixedDelay(new Run(host, days), 0, periodMillis, TimeUnit.MILLISECONDS);
    }

    /** Ends the schedule and waits up to a few seconds for a run in progress. */
    private static void stop(ScheduledThreadPoolExecutor stopping) {
        stopping.shutdown();
        try {
            stopping.awaitTermination(STOP_WAIT_SECONDS, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    /**
     * The number of days text gives: a plain decimal number from 1 to
     * Integer.MAX_VALUE (leading zeros allowed); -1 for anything else.
     */
    static int parse(String text) {
        if (text.isEmpty() || !text.chars().allMatch(c -> c >= '0' && c <= '9')) {
            return -1;
        }
        String digits = text.replaceFirst("^0+", "");
        if (digits.isEmpty() || digits.length() > 10) {
            return -1;
        }
        long days = Long.parseLong(digits);
        return days <= Integer.MAX_VALUE ? (int) days : -1;
    }

    /** One scheduled removal; the executor runs it on one thread only. */
    private static final class Run implements Runnable {
        private final VeskHost host;
        private final int days;
        private boolean unavailable;

        Run(VeskHost host, int days) {
            this.host = host;
            this.days = days;
        }

        @Override
        public void run() {
            if (unavailable) {
                return;
            }
            try {
                unavailable = host.deleteOldLogs(days) == VeskHost.NO_DELETION;
            } catch (Throwable e) {
                // An exception would end the schedule: log it, and try again tomorrow.
                host.log(VeskHost.KIT_CLASS, "ERROR", "0", "Falha ao tentar remover logs antigos: " + e);
            }
        }
    }
}
