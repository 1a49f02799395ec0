#ifndef UTIL_UB_LIBLOADER_H
#define UTIL_UB_LIBLOADER_H
/* The loader that fills a caller's function pointers from a shared
 * library. */

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Results of ub_libloader. */
enum ub_libloader_result {
    UB_LIBLOADER_OK = 0,
    UB_LIBLOADER_NULL = -1,       /* file name or record is NULL */
    UB_LIBLOADER_NOT_LOADED = 2,  /* the library could not be loaded */
    UB_LIBLOADER_NO_PROCEDURE = 3 /* a procedure is missing from it */
};

/* One procedure to resolve: the caller's function-pointer variable and the
 * exported name. A list of entries ends with one whose name is NULL. */
typedef struct ub_libloader_entry {
    void *target;     /* address of the caller's function-pointer variable, written */
    const char *name; /* exported procedure name, borrowed */
} ub_libloader_entry;

/* A library to load and the procedures wanted from it. */
typedef struct ub_libloader_record {
    void *module;                /* library handle, written by ub_libloader */
    ub_libloader_entry *entries; /* borrowed, ended by a NULL name; NULL means none */
} ub_libloader_record;

/* Loads the library file_name and stores each entry's address through its
 * target, in order. UB_LIBLOADER_OK when all were found;
 * UB_LIBLOADER_NOT_LOADED after the log line "Erro (<n>) ao tentar carregar
 * (<file>)"; UB_LIBLOADER_NO_PROCEDURE after "Metodo '<name>' nao localizado
 * em '<file>'." (the library stays loaded, earlier targets stay filled). */
int ub_libloader(const char *file_name, ub_libloader_record *record) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
