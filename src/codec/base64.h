#ifndef CODEC_BASE64_H
#define CODEC_BASE64_H
/* Base64 (RFC 4648 alphabet, "=" padding, no line breaks) and hexadecimal
 * texts, and the named codec tables "raw", "b64" and "hex" with their
 * dispatch by name. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: every buffer or text handed out comes from malloc and
 * belongs to the caller, who releases it with free. Lengths are counts of
 * bytes; a negative length counts as invalid. Failures are reported by the
 * result alone (codec_result); an output pointer is written only on
 * success unless a function says otherwise. */

/* Failure results. */
enum codec_result {
    CODEC_ERR_INPUT = -1,  /* NULL or empty input, NULL output pointer, bad Base64 length */
    CODEC_ERR_NOMEM = -2,  /* the result could not be allocated */
    CODEC_ERR_PADDING = -3 /* a Base64 block holds three or four "=" */
};

/* A decoder: reads the zero-terminated text, stores a new buffer in *out
 * and returns a count (what the count means depends on the codec). */
typedef int32_t (*ub_str_decoder_fn)(char *text, unsigned char **out);

/* An encoder: reads length bytes, stores a new text in *out and returns a
 * count (what the count means depends on the codec). */
typedef int32_t (*ub_str_encoder_fn)(const unsigned char *bytes, int32_t length, char **out);

/* One row of a codec table; a table ends with a row whose name is NULL. */
typedef struct ub_str_decoder_entry {
    const char *name;          /* codec name, compared exactly */
    ub_str_decoder_fn decoder; /* text to bytes */
} ub_str_decoder_entry;

typedef struct ub_str_encoder_entry {
    const char *name;          /* codec name, compared exactly */
    ub_str_encoder_fn encoder; /* bytes to text */
} ub_str_encoder_entry;

/* The codec tables, in search order: "raw", "b64", "hex". */
extern const ub_str_decoder_entry ub_str_decoders[];
extern const ub_str_encoder_entry ub_str_encoders[];

/* ---- Base64. */

/* Characters of the Base64 text of n bytes, 4 * ceil(n / 3) (0 for 0);
 * -1 when n is negative or the text would not fit a signed 32-bit count
 * (n above 1610612733). */
int32_t base64_get_encodedLen(int32_t n) UB_NOEXCEPT;

/* Stores in *out the zero-terminated Base64 text of length bytes and
 * returns its character count. CODEC_ERR_INPUT for NULL bytes or out, a
 * length of 0 or less, or a text too long to count; CODEC_ERR_NOMEM. */
int32_t b64_encode(const unsigned char *bytes, int32_t length, char **out) UB_NOEXCEPT;

/* Decodes text, ignoring every character outside the alphabet and "=",
 * and stores the bytes (not terminated) in *out. The byte count;
 * CODEC_ERR_INPUT when the alphabet and "=" characters number 0 or not a
 * multiple of 4; CODEC_ERR_NOMEM; CODEC_ERR_PADDING. Decoding stops after
 * the first block holding "=" (one drops its last byte, two its last two). */
int32_t b64_decode(const char *text, unsigned char **out) UB_NOEXCEPT;

/* Decodes one block of four 6-bit values into three bytes. */
void b64_decodeblock(const unsigned char in[4], unsigned char out[3]) UB_NOEXCEPT;

/* ---- Hexadecimal. */

/* A new buffer of strlen(text) / 2 bytes, read two digits per byte (a last
 * odd character is ignored). The text is upper-cased in place, pair by
 * pair, and digits are not validated. NULL for a NULL text or when memory
 * runs out. */
unsigned char *hex2bin(char *text) UB_NOEXCEPT;

/* A new zero-terminated text of two upper-case digits per byte ("" for
 * length 0). NULL for NULL bytes with a positive length, a negative length,
 * or when memory runs out. */
char *bin2hex(const unsigned char *bytes, int32_t length) UB_NOEXCEPT;

/* ---- Codec table entries and dispatch. */

/* Stores a copy of text in *out; returns strlen(text). CODEC_ERR_INPUT for
 * NULL text or out or a text too long to count; CODEC_ERR_NOMEM. */
int32_t ub_rawdup(char *text, unsigned char **out) UB_NOEXCEPT;

/* Stores hex2bin(text) in *out (the text is upper-cased in place); returns
 * strlen(text) / 2. CODEC_ERR_INPUT, CODEC_ERR_NOMEM as for ub_rawdup. */
int32_t ub_hex2bin(char *text, unsigned char **out) UB_NOEXCEPT;

/* Stores a copy of length bytes followed by a zero byte in *out; returns 0.
 * CODEC_ERR_INPUT for NULL out, NULL bytes with a positive length or a
 * negative length; CODEC_ERR_NOMEM. */
int32_t ub_rawdup2(const unsigned char *bytes, int32_t length, char **out) UB_NOEXCEPT;

/* Stores bin2hex(bytes, length) in *out; returns 0. Failures as for
 * ub_rawdup2. */
int32_t ub_bin2hex(const unsigned char *bytes, int32_t length, char **out) UB_NOEXCEPT;

/* Sets *out to NULL, then runs the decoder named codec (exact,
 * case-sensitive) on text and out and returns its result; 0 with *out
 * NULL when no codec has that name (or codec is NULL). CODEC_ERR_INPUT
 * for a NULL out. */
int32_t ub_str_decoder(char *text, unsigned char **out, const char *codec) UB_NOEXCEPT;

/* The same for the encoder named codec on length bytes. */
int32_t ub_str_encoder(const unsigned char *bytes, int32_t length, char **out,
                       const char *codec) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
