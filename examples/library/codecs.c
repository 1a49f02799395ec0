/* Base64, hex and RC4, directly and by codec name. Every buffer handed out
 * comes from malloc; release it with free. */
#include <stdio.h>
#include <stdlib.h>

#include <vesk/codec/base64.h>
#include <vesk/codec/rc4.h>

int main(void)
{
    char *text = NULL;
    int32_t n = b64_encode((const unsigned char *)"foobar", 6, &text);
    printf("b64 %d %s\n", n, text);
    free(text);

    /* Line breaks and other stray characters are skipped. */
    unsigned char *bytes = NULL;
    int32_t m = b64_decode("Zm9v\nYmFy", &bytes);
    printf("decoded %d %.*s\n", m, (int)m, (const char *)bytes);

    char *hex = bin2hex(bytes, m);
    printf("hex %s\n", hex);
    free(hex);

    /* RC4 in place; the same call with the same key deciphers. */
    rc4bin("chave", bytes, m, bytes);
    ub_str_encoder(bytes, m, &text, "hex"); /* codec names: "raw", "b64", "hex" */
    rc4bin("chave", bytes, m, bytes);
    printf("rc4 %s back %.*s\n", text, (int)m, (const char *)bytes);
    free(text);
    free(bytes);
    return 0;
}
