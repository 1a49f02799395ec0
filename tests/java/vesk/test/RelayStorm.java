package vesk.test;

import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Relays events from many threads at once through the callback at longs[0]:
 * texts[0] threads, texts[1] events each. Gives the number of events whose
 * relay reported nothing written.
 */
public final class RelayStorm {
    private RelayStorm() {
    }

    public static Object run(long[] longs, String[] texts) throws InterruptedException {
        int threads = Integer.parseInt(texts[0]);
        int events = Integer.parseInt(texts[1]);
        long callback = longs[0];
        AtomicInteger failures = new AtomicInteger();
        CountDownLatch go = new CountDownLatch(1);
        Thread[] workers = new Thread[threads];
        for (int t = 0; t < threads; ++t) {
            String code = "t" + t;
            workers[t] = new Thread(() -> {
                try {
                    go.await();
                } catch (InterruptedException e) {
                    return;
                }
                for (int i = 0; i < events; ++i) {
                    String message = "event-" + i + "-of-" + code + "-" + "x".repeat(40);
                    String[] event = {"class", "Storm", "verbosity", "INFO", "code", code,
                        "message", message};
                    if (Natives.relay(callback, null, event, null) <= 0) {
                        failures.incrementAndGet();
                    }
                }
            });
            workers[t].start();
        }
        go.countDown();
        for (Thread worker : workers) {
            worker.join();
        }
        return String.valueOf(failures.get());
    }
}
