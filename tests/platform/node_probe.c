/* A library for the platform suite to load as the JVM's: one function that
 * tells it was the one loaded. */
__declspec(dllexport) int vesk_probe(void);

int vesk_probe(void)
{
    return 42;
}
