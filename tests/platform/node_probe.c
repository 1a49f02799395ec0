/* A library for the platform suite to load, as the JVM's on Windows: one
 * function that tells it was the one loaded. */
#if defined(_WIN32)
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT
#endif

PROBE_EXPORT int vesk_probe(void);

int vesk_probe(void)
{
    return 42;
}
