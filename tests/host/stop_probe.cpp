// The host's stop as the service manager's STOP runs it on Windows, on a
// real JVM: launched with the JVM's exit hook, then vesk_stop on a thread of
// the host's. The hook writes "exit hook <status>" to the day's log.
#include <thread>

#include "host/veskserver.h"
#include "log/verbose.h"
#include "util/vesk_utils.h"

namespace {

void JNICALL exiting(jint status)
{
    verbose(stdout, "exit hook %d\n", static_cast<int>(status));
}

} // namespace

int main(int argc, char **argv)
{
    int status = vesk_start_with_exit_hook(argc, argv, exiting);
    if (status != VESK_OK)
        return status;
    std::thread(vesk_stop).detach();
    for (;;)
        ub_sleep(1000);
}
