#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H
/* The operating-system layer: the only module that knows which system it
 * runs on. Everything else reaches files, the clock and the process
 * through these functions. */

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: texts are zero-terminated and borrowed; results are 0 on
 * success and -1 on failure unless a function says otherwise. Descriptors
 * are plain ints, closed with platform_close. */

/* Separator between the parts of a path. */
#if defined(_WIN32)
#define PLATFORM_PATH_SEP '\\'
#define PLATFORM_PATH_SEP_STR "\\"
#else
#define PLATFORM_PATH_SEP '/'
#define PLATFORM_PATH_SEP_STR "/"
#endif

/* 1 where a path may start with a drive, a letter and ':' ("C:\\"), else 0. */
#if defined(_WIN32)
#define PLATFORM_PATH_DRIVES 1
#else
#define PLATFORM_PATH_DRIVES 0
#endif

/* Separator between the paths of a path list (a class path, a library path). */
#if defined(_WIN32)
#define PLATFORM_PATH_LIST_SEP ';'
#else
#define PLATFORM_PATH_LIST_SEP ':'
#endif

/* Room for any path the system hands out, terminator included. */
#define PLATFORM_PATH_MAX 4096

/* Copies the current directory into buffer (size bytes, terminator
 * included). 0 on success; -1, with buffer set to "", when it fails or
 * does not fit. */
int platform_getcwd(char *buffer, size_t size) UB_NOEXCEPT;

/* Suspends the calling thread for milliseconds ms. */
void platform_sleep_ms(uint32_t milliseconds) UB_NOEXCEPT;

/* Converts seconds since 1970-01-01 UTC to local calendar time in *out
 * (thread-safe). 0 on success, -1 when the time cannot be represented. */
int platform_localtime(time_t seconds, struct tm *out) UB_NOEXCEPT;

/* Path of the file that takes log lines when the daily log cannot be
 * opened: /tmp/ubrontex.log; on Windows %ProgramData%\VESK\ubrontex.log
 * (C:\ProgramData when the variable names no drive's path), read at the
 * first call. Borrowed, constant. */
const char *platform_fallback_log_path(void) UB_NOEXCEPT;

/* Where a file opened by platform_open_append lives, which decides what it
 * must turn out to be. */
enum platform_append_place {
    PLATFORM_APPEND_SHARED_FOLDER = 0, /* a folder every user may write to */
    PLATFORM_APPEND_OWN_FOLDER = 1     /* a folder of the operator's own */
};

/* Opens path for appending, creating it when missing with mode 0640 (less
 * what the umask removes; on Windows an access list of its own, nothing
 * inherited: SYSTEM, Administrators and the token's user, full control).
 * The descriptor may also read the file (platform_read_tail) where the
 * file's permissions let the process read it.
 * Every write lands at the end of the file as one piece. The open never
 * waits (a FIFO without a reader fails at once), and the file opened must
 * be a regular file. In a shared folder it must also be owned by the
 * effective user and have exactly one link, and a symbolic link in the last
 * component is refused. On Windows the shared place is the host's own
 * folder (the fallback file's VESK under %ProgramData%, where every user
 * may add): it is made when missing with the same access list, opened
 * without following a reparse point, and taken only when owned by SYSTEM,
 * Administrators, TrustedInstaller or the token's user with no one else
 * allowed to change it; the file, opened relative to it, must be owned so
 * too, have one link, no other writer and be no reparse point. In an own
 * folder links are followed, and any owner
 * and link count will do, so that a file an operator hard-linked or one of
 * another user the process may write for keeps working. The checks are
 * made on the open descriptor, never by a second lookup of the path. The
 * descriptor, or -1 when the file cannot be opened or is refused. When size
 * is not NULL it receives the file's size in bytes as opened. */
int platform_open_append(const char *path, int place, int64_t *size) UB_NOEXCEPT;

/* Reads the last size bytes of the file open as fd (all of it when it is
 * shorter) into buffer, as they lie on disk (CR LF on Windows). The count
 * read; -1 when the descriptor cannot read (a file the process may write
 * but not read) or the read fails. */
int platform_read_tail(int fd, char *buffer, size_t size) UB_NOEXCEPT;

/* Writes size bytes of data to fd, continuing after partial writes and
 * interruptions. 0 when all was written; -1 when nothing was; -2 when only
 * a part went out before the failure (the rest is lost). */
int platform_write_all(int fd, const void *data, size_t size) UB_NOEXCEPT;

/* Closes a descriptor from platform_open_append; -1 is ignored. */
void platform_close(int fd) UB_NOEXCEPT;

/* Loads the shared library at path. Its handle, or NULL with *error (when
 * error is not NULL) set to the system's error number, or -1 when the
 * system gives none. Libraries stay loaded for the life of the process. */
void *platform_library_open(const char *path, int *error) UB_NOEXCEPT;

/* Address of the exported symbol name in library, or NULL. */
void *platform_library_symbol(void *library, const char *name) UB_NOEXCEPT;

/* Releases a library that platform_library_open (or one of the opens
 * below) loaded; NULL is ignored. */
void platform_library_close(void *library) UB_NOEXCEPT;

/* Loads the shared library at path as platform_library_open does. On
 * failure returns NULL, sets *missing (when not NULL) to 1 when no file is
 * at path and to 0 otherwise, and copies why into reason (size bytes, cut
 * to fit, terminated; nothing when reason is NULL or size 0): "nao
 * encontrado" for a missing file, otherwise the system's own account (the
 * loader's message on POSIX, "erro <number>" on Windows, followed by a
 * word on the width for a library of the other width). */
void *platform_library_open_reason(const char *path, int *missing, char *reason,
                                   size_t size) UB_NOEXCEPT;

/* Kinds of place where the JVM's library may be. */
enum platform_jvm_place {
    PLATFORM_JVM_NAMED = 'N', /* named by the system's configuration (JAVA_HOME, the registry) */
    PLATFORM_JVM_USUAL = 'U'  /* a usual place, looked at whether or not anything is there */
};

/* The places to look for the JVM's library, in the order to try them.
 * POSIX: $JAVA_HOME/lib/server/libjvm.so (skipped when JAVA_HOME is unset
 * or empty), the system's default Java
 * /usr/lib/jvm/default-java/lib/server/libjvm.so, then
 * build_java_home/lib/server/libjvm.so (skipped when NULL or empty).
 * Windows: %JAVA_HOME%\bin\server\jvm.dll and the older
 * %JAVA_HOME%\jre\bin\server\jvm.dll, the RuntimeLib of the current
 * version that HKLM\SOFTWARE\JavaSoft\JDK, then ...\JRE, names (in the
 * registry view of the executable's width), jre\bin\server\jvm.dll and
 * jre\bin\client\jvm.dll beside the executable (never a bare name through
 * the library search, which this call limits to the system's safe places
 * for the rest of the process); build_java_home is not used. A malloc'd
 * block of entries, each a platform_jvm_place byte followed by a
 * zero-terminated path, ended by a lone zero byte; the caller frees it.
 * NULL when memory runs out. */
char *platform_jvm_library_paths(const char *build_java_home) UB_NOEXCEPT;

/* ---- Nodes: files and folders held open, so that who may change them is
 * asked of the very thing that will be read, loaded or written to, never
 * of a path looked up again. A node handle is a descriptor (an O_PATH one
 * on Linux; on Windows a CRT descriptor over a handle opened with backup
 * semantics, which keeps the node from being renamed or removed while it
 * is held), closed with platform_close. */

/* Stands for the working folder where a node handle is expected. */
#define PLATFORM_NODE_CWD (-100)

/* How platform_node_open opens. */
enum platform_node_flags {
    PLATFORM_NODE_NOFOLLOW = 1, /* a symbolic link (a reparse point) in name's last part is
                                   opened itself, not followed */
    PLATFORM_NODE_READ = 2      /* a regular file opened for reading (binary), never waiting
                                   on a FIFO or device; anything else is refused */
};

/* Kinds of node. */
enum platform_node_kind {
    PLATFORM_NODE_FILE = 1,   /* a regular file */
    PLATFORM_NODE_FOLDER = 2, /* a directory */
    PLATFORM_NODE_LINK = 3,   /* a symbolic link (a junction or other name surrogate) */
    PLATFORM_NODE_OTHER = 4   /* a FIFO, a device, a socket */
};

/* Who, besides the system and the effective user, may change a node. */
enum platform_node_writer {
    PLATFORM_WRITER_NONE = 0,     /* no one */
    PLATFORM_WRITER_OWNER = 1,    /* its owner, who is another user (and may change its
                                     permissions at will) */
    PLATFORM_WRITER_GROUP = 2,    /* its group, which is not the system's */
    PLATFORM_WRITER_EVERYONE = 3, /* every user */
    PLATFORM_WRITER_ACL = 4       /* a user or group that its access list names */
};

/* What a node handle tells about who may change the node. */
typedef struct platform_node_status {
    int kind;          /* platform_node_kind */
    int owner_trusted; /* 1 when owned by the system (root; on Windows SYSTEM, Administrators
                          or TrustedInstaller) or by the effective user */
    int writer;        /* platform_node_writer: the first other party found that may write it */
    int sticky;        /* 1 for a folder where others may add entries but not rename or
                          remove the entries of anyone else (the sticky bit; on Windows a
                          folder where others may only create) */
    char owner[64];    /* the owner as the system names it (a user number on POSIX, an
                          account on Windows) */
    char who[128];     /* the party that writer names (a group number, an account), or "" */
    uint64_t id[2];    /* the node's identity: device and file number (volume serial and
                          file index on Windows) */
} platform_node_status;

/* Opens the node name relative to the folder node folder (or
 * PLATFORM_NODE_CWD; an absolute name ignores folder), as flags says. A
 * name of more than one part is resolved by the system, links in its
 * inner parts followed. The handle, or -1 with *error (when not NULL) set
 * to the system's error number (ENOENT for a missing node, on Windows
 * ERROR_FILE_NOT_FOUND, which has the same number, a missing folder on the
 * way included; ELOOP when READ meets a link it may not follow). */
int platform_node_open(int folder, const char *name, int flags, int *error) UB_NOEXCEPT;

/* Opens the folder that holds the folder node (its ".."), itself at the
 * top. The handle, or -1. */
int platform_node_parent(int node) UB_NOEXCEPT;

/* Fills *out with what node's handle (or PLATFORM_NODE_CWD) tells. 0; -1
 * when it cannot be asked. */
int platform_node_status_get(int node, platform_node_status *out) UB_NOEXCEPT;

/* Fills *out with the status of the folder levels (1 or more) above the
 * folder node (or PLATFORM_NODE_CWD); at the top, the top's own. 0; -1 when
 * it cannot be asked. */
int platform_node_status_above(int node, int levels, platform_node_status *out) UB_NOEXCEPT;

/* Copies the target of the symbolic link name in the folder node folder
 * into buffer (size bytes, terminated). 0; -1 when name is no link, cannot be
 * read or does not fit. */
int platform_node_read_link(int folder, const char *name, char *buffer, size_t size) UB_NOEXCEPT;

/* Opens the file name of the folder node folder for appending as
 * platform_open_append does in an own folder (links followed, any owner and
 * link count, never waiting on a FIFO; made on Windows with the access list
 * of its own). The descriptor, or -1. */
int platform_open_append_at(int folder, const char *name, int64_t *size) UB_NOEXCEPT;

/* Loads the JVM's library whose file is open as node (from
 * PLATFORM_NODE_READ), so that what is mapped is the very file judged (on
 * Linux through /proc/self/fd; on Windows by the held file's final path,
 * which the handle keeps from being replaced). A loaded library keeps a
 * handle of its own to the file open for the life of the process (the JVM
 * finds its home through the name it was loaded by); node stays the
 * caller's. On Windows the C runtime DLLs that a Java runtime keeps in its
 * bin folder (the folder above the library's: vcruntime140.dll,
 * msvcp140.dll, msvcr100.dll, ...) are loaded from there first, as the java
 * launcher does, so that a runtime outside the library search starts on a
 * system without that C runtime installed; and from the first of these
 * calls on, libraries are no longer looked for in the working folder or
 * PATH (the system's safe places only: the program's folder, the system
 * folder). On failure as platform_library_open_reason. */
void *platform_jvm_library_open_node(int node, int *missing, char *reason, size_t size) UB_NOEXCEPT;

/* ---- System description for the machine information module. */

/* Processor architecture and type codes in Windows' numbering. */
enum platform_cpu_code {
    PLATFORM_ARCH_X86 = 0,
    PLATFORM_ARCH_ARM = 5,
    PLATFORM_ARCH_IA64 = 6,
    PLATFORM_ARCH_AMD64 = 9,
    PLATFORM_ARCH_ARM64 = 12,
    PLATFORM_ARCH_UNKNOWN = 0xFFFF,
    PLATFORM_CPU_INTEL_PENTIUM = 586,
    PLATFORM_CPU_INTEL_IA64 = 2200,
    PLATFORM_CPU_AMD_X8664 = 8664
};

/* Processor count and kind of this machine. */
typedef struct platform_cpu_info {
    uint32_t count;          /* processors online, at least 1 */
    uint16_t architecture;   /* a PLATFORM_ARCH_ code */
    uint32_t processor_type; /* a PLATFORM_CPU_ code, 0 when the kind has none */
} platform_cpu_info;

/* Fills *out. 0; -1 for NULL out. */
int platform_cpu_info_get(platform_cpu_info *out) UB_NOEXCEPT;

/* Copies the operating system's name and its release or service-pack text
 * into the two buffers (cut to fit, terminated). 0; -1 when the system
 * does not tell (both set to "") or an argument is NULL or 0. */
int platform_os_text(char *name, size_t name_size, char *release, size_t release_size) UB_NOEXCEPT;

/* Writes the hardware profile identifier as a GUID in braces
 * ("{8-4-4-4-12}", 39 bytes with the terminator) into guid. On POSIX it is
 * the 32 hexadecimal digits of id_path (normally "/etc/machine-id"), case
 * kept. 0; -1 with *error set to the system's error number when the source
 * cannot be read, or EINVAL when it is malformed or guid is too small. */
int platform_hw_profile_guid(const char *id_path, char *guid, size_t size,
                             unsigned long *error) UB_NOEXCEPT;

/* Copies this machine's host name into buffer (terminated). 0; -1 when it
 * cannot be read or does not fit. */
int platform_hostname(char *buffer, size_t size) UB_NOEXCEPT;

/* Directory listing, file status and file deletion, for walks that must
 * stay inside the tree they were given while others change it. A listing
 * holds its folder open: entries are looked up, subfolders opened and files
 * deleted relative to it, never through a path resolved again. (On Windows,
 * where the runtime lists by path, the listing holds a handle to its folder
 * that keeps the folder from being renamed or removed meanwhile.) A
 * subfolder is opened only when it is a directory itself, never through a
 * symbolic link or, on Windows, a junction or other reparse point; a link's
 * own status is given, and a link is never reported as a directory. */

/* An open directory listing; opaque. */
typedef struct platform_dir platform_dir;

/* What the walks need to know about one file. */
typedef struct platform_file_status {
    int64_t mtime; /* the file's time, seconds since 1970-01-01 UTC: last
                      modification on POSIX, creation (st_ctime) on Windows */
    int64_t size;  /* bytes */
    int is_dir;    /* 1 for a directory, 0 otherwise (links included) */
} platform_file_status;

/* Opens the listing of the directory path, following links in it (the
 * caller named it). NULL when path is NULL or empty, is not a directory or
 * cannot be opened. */
platform_dir *platform_dir_open(const char *path) UB_NOEXCEPT;

/* Opens the listing of the folder node folder, as platform_dir_open does
 * for a path. NULL when it cannot. The node stays the caller's. */
platform_dir *platform_dir_open_node(int folder) UB_NOEXCEPT;

/* Opens the listing of the subfolder name of parent, relative to parent's
 * open listing. NULL when name is empty, "." or "..", holds a separator, is
 * a link or reparse point, is not a directory, or cannot be opened. */
platform_dir *platform_dir_open_at(platform_dir *parent, const char *name) UB_NOEXCEPT;

/* Name of the next entry ("." and ".." included), borrowed until the next
 * call or the close; NULL at the end of the listing or for a NULL dir. */
const char *platform_dir_read(platform_dir *dir) UB_NOEXCEPT;

/* Status of the entry name of dir (a link's own), looked up relative to the
 * open listing. 0 on success; -1 with *out zeroed. */
int platform_dir_stat(platform_dir *dir, const char *name, platform_file_status *out) UB_NOEXCEPT;

/* Deletes the file name of dir (never a directory; a link itself, never its
 * target), relative to the open listing. 0 on success; -1 with *error (when
 * not NULL) set to the system's error number. */
int platform_dir_unlink(platform_dir *dir, const char *name, int *error) UB_NOEXCEPT;

/* Reads up to size bytes of the regular file name (which may go through
 * subfolders, "1234/stat") relative to the open listing, without following
 * a link in its last part and without blocking on a FIFO. The count read
 * (at most INT_MAX); -1 when it cannot be opened, is not a regular file or a
 * read fails. */
int platform_dir_read_file(platform_dir *dir, const char *name, char *buffer,
                           size_t size) UB_NOEXCEPT;

/* 0 while the listing has read without fault; otherwise the system's error
 * number of the read that failed, after which platform_dir_read gives NULL
 * as at the end. */
int platform_dir_error(const platform_dir *dir) UB_NOEXCEPT;

/* Lets go of the listing's descriptor, so that a deep walk holds a bounded
 * number open: the entries not yet read are kept and handed out by
 * platform_dir_read as before, but nothing can be looked up, opened or
 * deleted in it until platform_dir_resume. 0 (also when already let go, or
 * where listings hold no scarce descriptor); -1 when memory runs out: the
 * listing stays open, but the entries read while saving are lost and
 * platform_dir_error tells ENOMEM, so a walk of it ends as failed. */
int platform_dir_suspend(platform_dir *dir) UB_NOEXCEPT;

/* Takes the folder of a suspended dir up again as the parent ("..") of
 * child, its open subfolder, never through a link, and only when it is the
 * very folder that was let go (same device and file number). 0, also when dir
 * is not suspended; -1 otherwise, after which dir stays unusable and its
 * reading ends with an error. */
int platform_dir_resume(platform_dir *dir, platform_dir *child) UB_NOEXCEPT;

/* Opens for reading in binary mode the regular file name of dir, or the file
 * at the path name when dir is NULL, never through a link in its last part
 * and without blocking on a FIFO or device. NULL when it cannot be opened or
 * is not a regular file. */
FILE *platform_dir_open_regular(platform_dir *dir, const char *name) UB_NOEXCEPT;

/* Closes the listing; NULL is ignored. */
void platform_dir_close(platform_dir *dir) UB_NOEXCEPT;

/* Status of the file at path. 0 on success; -1 with *out zeroed. */
int platform_file_stat(const char *path, platform_file_status *out) UB_NOEXCEPT;

/* Deletes the file at path (never a directory). 0 on success; -1 with
 * *error (when not NULL) set to the system's error number. */
int platform_delete_file(const char *path, int *error) UB_NOEXCEPT;

/* Sets the time that platform_file_stat reports for path (a link's own) to
 * seconds since 1970-01-01 UTC; for tests that age files. 0, or -1. */
int platform_file_set_time(const char *path, int64_t seconds) UB_NOEXCEPT;

/* ---- The running program. */

/* Copies the folder that holds the running executable (without a trailing
 * separator) into buffer. 0; -1, with buffer set to "", when it cannot be
 * told or does not fit. */
int platform_executable_dir(char *buffer, size_t size) UB_NOEXCEPT;

/* Where standard output or standard error leads nowhere (a windowless
 * Windows program started from a console window), connects it to the
 * console of the parent process, when there is one, so that messages reach
 * the operator. Does nothing on POSIX. */
void platform_console_attach(void) UB_NOEXCEPT;

/* Whether standard error leads to the system journal (systemd's, which
 * says so through JOURNAL_STREAM), where a line may begin with its syslog
 * priority ("<3>"). 1 or 0; always 0 on Windows. */
int platform_stderr_is_journal(void) UB_NOEXCEPT;

/* What the process may do with a path it is about to hand on. */
enum platform_path_access {
    PLATFORM_PATH_READABLE = 0,  /* it exists, and the effective user may read it (and list
                                    a folder) */
    PLATFORM_PATH_MISSING = 1,   /* nothing is there (or a part of the path is no folder) */
    PLATFORM_PATH_UNREADABLE = 2 /* it exists, but the effective user may not read it */
};

/* Judges path for the effective user, following links: a
 * platform_path_access, or -1 for a NULL path. */
int platform_path_access(const char *path) UB_NOEXCEPT;

/* Makes path the current directory of the process. 0; -1 when it cannot. */
int platform_set_cwd(const char *path) UB_NOEXCEPT;

/* The process's identifier, as the system shows it. */
int64_t platform_process_id(void) UB_NOEXCEPT;

/* Copies the system's folder for temporary files, as the JVM names it
 * ("/tmp"; on Windows the user's, from GetTempPath, without a trailing
 * separator) into buffer. 0; -1, with buffer set to "", when it does not
 * fit. */
int platform_temp_folder(char *buffer, size_t size) UB_NOEXCEPT;

/* Ends the process at once with status: no exit handlers, no flushing of
 * C streams, no library unloading, whatever other threads are doing. */
void platform_exit_now(int status) UB_NOEXCEPT;

/* Tells the service manager that started the process, through the socket
 * that NOTIFY_SOCKET names (systemd's notify protocol), the state lines in
 * state ("READY=1", "STOPPING=1", "STATUS=..." joined by line feeds). 0 when
 * sent; 1 when no manager listens (the variable is unset or empty, and
 * always on Windows, whose manager is told through platform_service_report);
 * -1 when the variable names no socket that takes it. */
int platform_notify_manager(const char *state) UB_NOEXCEPT;

/* ---- The system's service manager. Windows has one; POSIX has none here
 * (an init system starts the program as any other), and every function
 * below reports PLATFORM_SERVICE_UNSUPPORTED there. One service per
 * process, of its own process. */

/* Results of the service functions. */
enum platform_service_result {
    PLATFORM_SERVICE_OK = 0,
    PLATFORM_SERVICE_REMOVED_ON_STOP = 1, /* uninstall: marked for removal, still running */
    PLATFORM_SERVICE_UNSUPPORTED = -1,    /* no service manager on this system */
    PLATFORM_SERVICE_NOT_A_SERVICE = -2,  /* the manager did not start this process */
    PLATFORM_SERVICE_DENIED = -3,         /* the manager refused: not an administrator */
    PLATFORM_SERVICE_EXISTS = -4,         /* a service of that name exists */
    PLATFORM_SERVICE_MISSING = -5,        /* no service of that name */
    PLATFORM_SERVICE_FAILED = -6,         /* any other failure */
    PLATFORM_SERVICE_BEING_REMOVED = -7,  /* install: the service of that name awaits removal */
    PLATFORM_SERVICE_NAME_TAKEN = -8      /* install: another service has the display name */
};

/* States a service reports, in Windows' numbering. */
enum platform_service_state {
    PLATFORM_SERVICE_STOPPED = 1,
    PLATFORM_SERVICE_START_PENDING = 2,
    PLATFORM_SERVICE_STOP_PENDING = 3,
    PLATFORM_SERVICE_RUNNING = 4
};

/* Exit code of a STOPPED service that ended its process after its bound
 * for stopping was reached (reported as the system's timeout error). */
#define PLATFORM_SERVICE_EXIT_TIMEOUT (-1)

/* 1 where the system has a service manager (Windows); 0 on POSIX. */
int platform_service_supported(void) UB_NOEXCEPT;

/* The service's body, on a thread of the manager's: argv[0] is the service
 * name, argv[1..] the start parameters (borrowed for the call). */
typedef void (*platform_service_main_fn)(int argc, char **argv, void *context);

/* Asks the service to stop (the manager's STOP or SHUTDOWN), on the
 * dispatcher's thread; it must return at once. */
typedef void (*platform_service_stop_fn)(void *context);

/* Runs the process as the service name when the service manager started it:
 * calls main, and stop on each stop request, and returns once the service
 * reported STOPPED. PLATFORM_SERVICE_OK then; PLATFORM_SERVICE_NOT_A_SERVICE
 * at once when the process was started any other way (its parent is not the
 * manager, or the manager does not know it); PLATFORM_SERVICE_FAILED. */
int platform_service_dispatch(const char *name, platform_service_main_fn main,
                              platform_service_stop_fn stop, void *context) UB_NOEXCEPT;

/* Tells the manager the service's state: exit_code (for STOPPED) is 0, a
 * service-specific code above 0, or PLATFORM_SERVICE_EXIT_TIMEOUT;
 * wait_hint_ms (for the pending states) is how long until the next report.
 * Each pending report advances the progress checkpoint; STOP and SHUTDOWN
 * are accepted only while RUNNING. 0; -1 when not running as a service or
 * the manager refuses. Callers serialise their reports. */
int platform_service_report(int state, int32_t exit_code, uint32_t wait_hint_ms) UB_NOEXCEPT;

/* Registers the running executable as the service name (display_name),
 * started automatically at boot, with the count words as its command line
 * (each quoted as the C runtime splits it back) and, after a crash (the
 * process ended without reporting STOPPED), restarted after
 * restart_delay_ms, but not after a STOPPED with an exit code. The result
 * code; *error (when not NULL) the system's error number, 0 on success. */
int platform_service_install(const char *name, const char *display_name, char *const *words,
                             int count, uint32_t restart_delay_ms, int *error) UB_NOEXCEPT;

/* Stops the service name when it runs (waiting while it reports progress,
 * 60 s at most) and removes it. PLATFORM_SERVICE_OK;
 * PLATFORM_SERVICE_REMOVED_ON_STOP when it did not stop in time, or was
 * marked for removal already (the manager removes it once it stops); else
 * the result code, with *error (when not NULL) the system's error number. */
int platform_service_uninstall(const char *name, int *error) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
