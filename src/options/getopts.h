#ifndef OPTIONS_GETOPTS_H
#define OPTIONS_GETOPTS_H
/* Option tables: one array of option records holds the defaults of a
 * program's settings, is filled from a key=value ini file, and describes
 * its command-line options and their help lines. */

#include <stdint.h>
#include <stdio.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: a table is an array of ub_option rows ended by a row whose
 * name is NULL and letter 0; every other row carries a letter. Names and
 * help texts are borrowed constants. Values start borrowed; ub_getopt_ini
 * gives each row an owned copy (released by ub_getopt_ini when a line
 * replaces it, or by ub_getopt_release), while ub_getopt_setValue and
 * ub_getopt_sync store the caller's pointer as it is. Names compare exactly;
 * lookups scan rows in table order. A NULL table or name finds nothing. */

/* Type codes: whether an option takes a value word, and its help letter. */
enum ub_option_type {
    UB_OPT_SWITCH = 0, /* B: no value; only `given` records it */
    UB_OPT_STRING = 1, /* S: one value word */
    UB_OPT_NUMBER = 2, /* N: one value word, digits and points on the command line */
    UB_OPT_KEY = 3,    /* H: one value word */
    UB_OPT_CHOICE = 4, /* O: one value word; the help shows "Vide opcoes..." */
    UB_OPT_BOOLEAN = 5 /* B: one value word */
};

/* One setting of an option table. */
typedef struct ub_option {
    int32_t given;     /* 0 until set: ini line number, option word index, or -1 (checked) */
    char letter;       /* short option letter; 0 only in the terminating row */
    int32_t type;      /* an ub_option_type code */
    const char *name;  /* long option, ini key and parameter key; NULL ends the table */
    const char *value; /* current value, never NULL in a live row ("" when unset) */
    int32_t position;  /* 0 until set: offset of the value in its ini line, or value word index */
    const char *help;  /* one-line help text, may be empty */
} ub_option;

/* Reads key=value lines of path into table: first every row's value
 * becomes an owned copy; then each line whose text starts with a row's name
 * directly followed by "=" sets that row (value = rest of the line, given =
 * line number, position = name length + 1). Lines are cut at CR or LF; a
 * line longer than 2047 characters is read, and numbered, in pieces. The
 * number of assignments made (0 when none), or -1 when the file cannot be
 * opened or memory runs out. */
int ub_getopt_ini(const char *path, ub_option *table) UB_NOEXCEPT;

/* What ub_getopt_ini_report says about a physical line of an ini file. The
 * reader takes each 2047-character piece of a longer line as a line of its
 * own, and cuts each piece at its first CR or LF. */
enum ub_ini_notice {
    UB_INI_CUT = 1,         /* longer than 2047 characters, its first piece sets option name */
    UB_INI_UNKNOWN = 2,     /* at most 2047 characters, neither blank, nor a comment ('#' or
                               ';' first), nor an option */
    UB_INI_MARKED = 3,      /* as UB_INI_UNKNOWN, and starts with a UTF-8 byte-order mark */
    UB_INI_CUT_UNSET = 4,   /* longer than 2047 characters, its first piece neither blank, nor a
                               comment, nor an option */
    UB_INI_CUT_COMMENT = 5, /* longer than 2047 characters, its first piece blank or a comment */
    UB_INI_PIECE = 6,       /* a later piece, starting after character column, sets option name */
    UB_INI_AFTER_CR = 7     /* text after the CR at character column (from 1) was not read */
};

/* Receives one notice: an ub_ini_notice code, the physical line number (as
 * an editor counts, from 1), a column (0 unless the code says otherwise;
 * characters are bytes) and a name, borrowed for the call: the option's
 * for UB_INI_CUT and UB_INI_PIECE; the line's text up to its first "="
 * (without the mark), at most 2047 characters, for UB_INI_UNKNOWN,
 * UB_INI_MARKED and UB_INI_CUT_UNSET; else "". */
typedef void (*ub_ini_reporter)(void *context, int notice, int32_t line, int64_t column,
                                const char *name);

/* Reads path into table exactly as ub_getopt_ini does, with the same
 * result, and tells report (when not NULL), in file order and once each:
 * of each physical line that is cut (UB_INI_CUT, UB_INI_CUT_UNSET or
 * UB_INI_CUT_COMMENT) or that sets nothing although it is no blank line or
 * comment (UB_INI_UNKNOWN or UB_INI_MARKED); then, within that line, of
 * each later piece that sets an option and each piece whose text after a
 * CR is dropped, in the order of the line's text. Text after a zero byte
 * is dropped without a notice. */
int ub_getopt_ini_report(const char *path, ub_option *table, ub_ini_reporter report,
                         void *context) UB_NOEXCEPT;

/* ub_getopt_ini_report reading the ini text from file, open for reading
 * (binary) and left open, from where it stands; -1 for a NULL file, as for
 * a path that cannot be opened. */
int ub_getopt_ini_report_file(FILE *file, ub_option *table, ub_ini_reporter report,
                              void *context) UB_NOEXCEPT;

/* Value of the first row named name, borrowed; the shared empty text when
 * no row has it. */
const char *ub_getopt_getValue(const ub_option *table, const char *name) UB_NOEXCEPT;

/* Stores value (borrowed, not copied; NULL stores "") in every row named
 * name, releasing nothing. The number of rows of the table, or -1 for a
 * NULL table. */
int ub_getopt_setValue(ub_option *table, const char *name, const char *value) UB_NOEXCEPT;

/* `position` of the first row named name, or -1 when none. */
int ub_getopt_getIndex(const ub_option *table, const char *name) UB_NOEXCEPT;

/* Marks every row named name as given (given = -1). */
void ub_getopt_check(ub_option *table, const char *name) UB_NOEXCEPT;

/* `given` of the first row named name; 0 when none. */
int ub_getopt_isChecked(const ub_option *table, const char *name) UB_NOEXCEPT;

/* Writes the table to path as "# Gerado em <local time>", an empty line and
 * one name=value line per row. 0 on success; -1 when the file cannot be
 * created (logged as "Falha ao tentar gravar em: '<path>'") or written. */
int ub_getopt_save(const char *path, const ub_option *table) UB_NOEXCEPT;

/* Copies, by name, every value of source into the rows of target with
 * ub_getopt_setValue; target then shares source's value texts. Returns 0. */
int ub_getopt_sync(const ub_option *source, ub_option *target) UB_NOEXCEPT;

/* Reads the value of key from a key=value file without a table. The last
 * matching line wins: its text after "=" goes to buffer, cut to size - 1
 * characters and at the first CR or LF. Returns that text's full length
 * as read (line end included), 0 when no line matched (buffer unchanged),
 * -1 when the file cannot be opened or an argument is NULL or size < 1. */
int ub_getopt_key_in_file(const char *path, const char *key, char *buffer, int size) UB_NOEXCEPT;

/* Writes one help line per row to standard error: "\t(T) -l, --name",
 * padded to 30 columns, then "- " and the help text. */
void ub_getopt_help(const ub_option *table) UB_NOEXCEPT;

/* Writes the program banner to standard error: program path, version
 * major.minor.patch rREVISION with the build time (seconds since 1970,
 * shown in local time) and the description. */
void ub_help_header2(const char *program, const char *description, int major, int minor, int patch,
                     int revision, int32_t build_time) UB_NOEXCEPT;

/* ub_help_header2 writing to out instead; nothing for a NULL out. */
void ub_help_header2_to(FILE *out, const char *program, const char *description, int major,
                        int minor, int patch, int revision, int32_t build_time) UB_NOEXCEPT;

/* Releases every value that ub_getopt_ini copied for the rows of table
 * (tables that ub_getopt_sync made share them lose them too); rows still
 * holding such a copy get the empty text. Borrowed values are left alone. */
void ub_getopt_release(ub_option *table) UB_NOEXCEPT;

/* Command-line parsing over a table: "-x" letters (grouped in one word or
 * not) and "--name" words take their value words in order; each row gets
 * given = index of its option word, value = the value word itself
 * (borrowed from argv, not copied) and position = the value word's index. */

/* Parses argv[1..argc-1] into table. 0 when every word was consumed or "--"
 * ended the options; the index of the first word not starting with "-";
 * -1 for an unknown letter, a non-numeric value of a number option, or a
 * NULL table, argv or word. "--name=value" is an unknown name (skipped). */
int ub_getopt(ub_option *table, int argc, char *const *argv) UB_NOEXCEPT;

/* Handles the long option argv[index] for every row with its name; the
 * index of the next unused word (argc for "--"), or index itself when a
 * value is refused. An unknown name is skipped. */
int ub_getopt_process_long(ub_option *table, int argc, char *const *argv, int index) UB_NOEXCEPT;

/* Handles the letters of argv[index] in order; the index of the next unused
 * word, or index itself for an unknown letter or a refused value. */
int ub_getopt_process_opt(ub_option *table, int argc, char *const *argv, int index) UB_NOEXCEPT;

/* Gives row the option word argv[index] and, unless it is a switch, the
 * value word argv[next]. next + 1 (next for a switch, and no value taken
 * when no word is left); index when a number option's word is no number. */
int ub_getopt_process(ub_option *row, int argc, char *const *argv, int index, int next) UB_NOEXCEPT;

/* Logs one untagged line per row: "--NAME: <given>" for switches,
 * "--NAME: '<value>'" for the others (first row of each name). */
void ub_getopt_verbose(const ub_option *table) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
