// Creates a JVM with the arguments given on the command line: class path,
// library path, stack, then further options ("-" stands for NULL), and
// reports on standard output whether it started.
#include <cstdio>
#include <cstring>
#include <vector>

#include "jvm/java_utils.h"

namespace {

const char *argument(int argc, char **argv, int index)
{
    return index < argc && std::strcmp(argv[index], "-") != 0 ? argv[index] : nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<const char *> options;
    for (int i = 4; i < argc; ++i)
        options.push_back(argument(argc, argv, i));
    JavaVM *jvm =
        argc <= 4
            ? ub_loadJVM(argument(argc, argv, 1), argument(argc, argv, 2), argument(argc, argv, 3))
            : ub_loadJVM_with_options(argument(argc, argv, 1), argument(argc, argv, 2),
                                      argument(argc, argv, 3), nullptr,
                                      static_cast<int>(options.size()), options.data());
    std::printf(jvm != nullptr ? "started\n" : "refused\n");
    return jvm != nullptr ? 0 : 1;
}
