#ifndef HOST_USAGE_H
#define HOST_USAGE_H
/* What the host says about itself without starting anything: the banner
 * and usage, and the words --version and --help. */

#include <stdio.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* The program's description, in the banner and the version line. */
#define VESK_DESCRIPTION "VESK - Service"

/* vesk_usage_command's result when the words are not its own. */
enum { VESK_USAGE_NONE = -1 };

/* Writes to out the banner (ub_help_header2_to with VESK_DESCRIPTION and
 * the version of util/vesk_version.h), then "Uso:", the line
 * "\t$ <program> <Param 1> <Val 1> ... <Param N> <Val N>" and an empty line.
 * NULL out: nothing; NULL program reads as "vesk". */
void vesk_usage_write(FILE *out, const char *program) UB_NOEXCEPT;

/* When argv[1] is the only word and one of "--version", "-V", "--help",
 * "-h": connects the standard streams to the console of a windowless
 * program (platform_console_attach) and writes to standard output either
 * the line "VESK - Service <vesk_version()>" or the usage, the other words,
 * the parameters with their help and defaults, and the configuration files
 * read from the current folder. Reads no file and starts no JVM. 0, or 1
 * after "Falha ao tentar escrever na saida padrao." on standard error when
 * the output could not be written; VESK_USAGE_NONE for any other words. */
int vesk_usage_command(int argc, char **argv) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
