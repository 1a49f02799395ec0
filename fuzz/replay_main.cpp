// Runs a fuzz target once over each file named on the command line, so the
// corpora replay in builds without libFuzzer.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_support.h"

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        // Like libFuzzer, an empty input still comes with a valid pointer.
        bytes.reserve(1);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    return 0;
}
