/* The small pattern matcher: where a pattern first matches a text, and one
 * compiled pattern used for several texts. The compiled pattern lives in
 * one slot of the module: compile and match on one thread at a time. */
#include <stdio.h>

#include <vesk/core/re.h>

int main(void)
{
    printf("date at %d\n", re_match_direct("\\d+-\\d+", "log of 2026-12-09"));
    printf("no match %d\n", re_match_direct("^app", "my app"));

    const char *names[] = {"app.log", "app.log.1", "monitor_20261209.log"};
    const re_object *logs = re_compile("^[a-z_0-9]+\\.log$");
    if (logs == NULL)
        return 1;
    for (int i = 0; i < 3; ++i)
        printf("%s %s\n", names[i], re_matchp(logs, names[i]) == 0 ? "yes" : "no");
    return 0;
}
