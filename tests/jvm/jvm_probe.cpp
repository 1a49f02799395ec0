// Creates a JVM with the arguments given on the command line ("-" stands
// for NULL) and reports on standard output whether it started.
#include <cstdio>
#include <cstring>

#include "jvm/java_utils.h"

namespace {

const char *argument(int argc, char **argv, int index)
{
    return index < argc && std::strcmp(argv[index], "-") != 0 ? argv[index] : nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    JavaVM *jvm = ub_loadJVM(argument(argc, argv, 1), argument(argc, argv, 2),
                             argument(argc, argv, 3));
    std::printf(jvm != nullptr ? "started\n" : "refused\n");
    return jvm != nullptr ? 0 : 1;
}
