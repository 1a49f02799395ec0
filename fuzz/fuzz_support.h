// Helpers shared by the fuzz targets: copies of the input as texts, a
// scratch file, silenced standard streams and JSON tree equality.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "json/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fuzz {

// The input as a zero-terminated, writable text (it ends at the first zero
// byte when C functions read it).
std::vector<char> text_copy(const uint8_t *data, size_t size);

// The input split at zero bytes into pieces (size + 1 pieces for size zeros).
std::vector<std::string> split_at_zero(const uint8_t *data, size_t size);

// A file of this process, rewritten with the bytes on every call; its path.
const char *scratch_file(const uint8_t *data, size_t size);

// Points the stdio streams stdout and stderr at /dev/null while alive. The
// descriptors stay as they are, so sanitizer and libFuzzer reports, which
// write to descriptor 2, are still seen.
class Silence {
public:
    Silence();
    ~Silence();
    Silence(const Silence &) = delete;
    Silence &operator=(const Silence &) = delete;

private:
    FILE *saved_out_;
    FILE *saved_err_;
};

// Whether b is what a's compact text reads back as: same shape, names and
// texts, a BOOLEAN coming back as the INTEGER of the same text.
bool json_equal(const json_value *a, const json_value *b);

// Whether every INTEGER and NUMBER text in tree is a number as standard
// JSON writes it (the reader also keeps forms such as 007 and .5, and
// writes them back as they are).
bool json_numbers_are_standard(const json_value *tree);

// Appends text and a line feed to the file named by VESK_JSON_TEXTS, when
// that is set, for a strict reader to check outside the fuzz loop.
void keep_text_for_strict_reader(const char *text);

// Stops the run with a message when ok is false.
void require(bool ok, const char *what);

} // namespace fuzz

#endif
