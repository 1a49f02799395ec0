/* An option table with defaults, overridden by an ini file, and a line in
 * the daily log (log/monitor_YYYYMMDD.log under the current directory). */
#include <stdio.h>

#include <vesk/log/verbose.h>
#include <vesk/options/getopts.h>

static ub_option options[] = {
    {0, 'p', UB_OPT_NUMBER, "PORT", "9000", 0, "Porta."},
    {0, 'n', UB_OPT_STRING, "NAME", "demo", 0, "Nome."},
    {0, 0, 0, NULL, NULL, 0, NULL},
};

int main(void)
{
    FILE *ini = fopen("example.ini", "w");
    if (ini == NULL)
        return 1;
    fputs("# settings\nPORT=9100\n", ini);
    fclose(ini);

    int set = ub_getopt_ini("example.ini", options);
    printf("set=%d PORT=%s NAME=%s\n", set, ub_getopt_getValue(options, "PORT"),
           ub_getopt_getValue(options, "NAME"));

    log_component app = {VERBOSE_INFO, ""};
    log_component_set_tag(&app, "APP");
    verbose_in(&app, VERBOSE_INFO, "listening on %s\n", ub_getopt_getValue(options, "PORT"));
    verbose_in(&app, VERBOSE_DEBUG, "not written: above the threshold\n");

    ub_getopt_release(options);
    return 0;
}
