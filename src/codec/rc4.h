#ifndef CODEC_RC4_H
#define CODEC_RC4_H
/* The RC4 stream cipher: key schedule, keystream, and one-call encryption
 * of texts and byte buffers. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: every operation runs the key schedule afresh on a state of
 * its own, so equal keys always give the same keystream from its first
 * byte; nothing is allocated or kept between calls. The output receives
 * exactly as many bytes as are processed, with no terminator, and may be
 * the input buffer itself. Keys hold at least one byte; an empty key, a
 * NULL pointer or a negative length gives -1 and changes nothing. */

/* Bytes of the permutation that makes up an RC4 state. */
#define RC4_STATE_SIZE 256

/* Exchanges the bytes at a and b. */
void swap(unsigned char *a, unsigned char *b) UB_NOEXCEPT;

/* Key schedule: fills state (RC4_STATE_SIZE bytes) from key_length bytes
 * of key, taken as unsigned. 0; -1 for a NULL argument or key_length < 1. */
int KSA_in(int key_length, const unsigned char *key, unsigned char *state) UB_NOEXCEPT;

/* KSA_in with the zero-terminated key text; its result. */
int KSA(const char *key, unsigned char *state) UB_NOEXCEPT;

/* Keystream: starting with both indices at 0, writes length bytes of input
 * XOR keystream to output, stepping state along. NULL state, input or
 * output with a positive length does nothing. */
void PRGA(unsigned char *state, const unsigned char *input, int32_t length,
          unsigned char *output) UB_NOEXCEPT;

/* Encrypts (or decrypts) length bytes of input with key_length bytes of
 * key into output. The length; 0 without doing anything when length is 0;
 * -1 as in the conventions. */
int32_t rc4encode(const unsigned char *key, int key_length, const unsigned char *input,
                  int32_t length, unsigned char *output) UB_NOEXCEPT;

/* The same as rc4encode: RC4 is its own inverse. */
int32_t rc4decode(const unsigned char *key, int key_length, const unsigned char *input,
                  int32_t length, unsigned char *output) UB_NOEXCEPT;

/* rc4encode with the zero-terminated key text. */
int32_t rc4bin(const char *key, const unsigned char *input, int32_t length,
               unsigned char *output) UB_NOEXCEPT;

/* rc4encode of the zero-terminated input text (terminator excluded) with
 * the zero-terminated key text. 0; -1 as in the conventions. */
int rc4(const char *key, const char *input, unsigned char *output) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
