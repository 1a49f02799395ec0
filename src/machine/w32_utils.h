#ifndef MACHINE_W32_UTILS_H
#define MACHINE_W32_UTILS_H
/* The machine description: a JSON object naming the MAC address, the time,
 * the processors, the operating system, the machine identifier, the host
 * name and the network interfaces; the MAC helpers and the readers of
 * Linux system files that add members of the same names. */

#include <stddef.h>

#include "json/json.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: the description is added to a caller-owned JSON object
 * (type JSON_TYPE_OBJECT); a NULL or non-object argument is left alone.
 * Members are set with json_object_add, so an existing member keeps its
 * place and gets the new value. Texts passed to callbacks are borrowed for
 * the call. A missing system file adds nothing. */

/* Bytes of the MAC address buffer of vesk_get_mac and vesk_mac_cb; bytes 0
 * to 5 hold the address. */
#define VESK_MAC_BUFFER_SIZE 20

/* Per-interface callback of the enumeration: interface name, MAC text
 * (lower-case hex, 12 digits or pairs separated by ":"), IP text, and the
 * caller's pointer. */
typedef void (*vesk_iface_callback)(const char *name, const char *mac, const char *ip, void *user);

/* The system files the description reads. Each path is borrowed. */
typedef struct vesk_machine_paths {
    const char *cpuinfo;    /* processor lines, "/proc/cpuinfo" */
    const char *issue;      /* system name line, "/etc/issue" */
    const char *machine_id; /* 32 hex digits, "/etc/machine-id" */
    const char *hostname;   /* host name line, "/proc/sys/kernel/hostname" */
} vesk_machine_paths;

/* Makes the readers and the identifier use paths (borrowed: it must stay
 * valid until replaced); NULL restores the real files. For tests that
 * feed fixture files. */
void vesk_machine_set_paths(const vesk_machine_paths *paths) UB_NOEXCEPT;

/* Adds "macaddress", "unixtime", "cores", "vendor", "model", "so", "id"
 * (when the identifier can be read; otherwise "GetCurrentHwProfile failed
 * with error %lx" goes to standard error), "hostname" (when known) and the
 * array "ifaces", in this order. */
void vesk_machine_info(json_value *object) UB_NOEXCEPT;

/* The interface enumeration: no adapter list is read here. Logs
 * "GetAdaptersInfo error: 0", calls no callback, and returns 0. */
int vesk_get_ifaces(vesk_iface_callback callback, void *user) UB_NOEXCEPT;

/* Returns ip unchanged and does nothing else. */
char *vesk_get_local_ip(const char *name, char *ip) UB_NOEXCEPT;

/* Enumeration callback of vesk_machine_info: appends to the JSON array
 * user an object of "name", "macaddress" and "ip", stopping at the first
 * NULL text (a NULL name gives an empty object). Does nothing when user is
 * not an array. */
void vesk_machine_info_cb(const char *name, const char *mac, const char *ip,
                          void *user) UB_NOEXCEPT;

/* Writes the MAC address of the first interface with one as 12 upper-case
 * hex digits into buffer (size bytes with the terminator, cut to fit) and
 * returns buffer; "000000000000" when none is known. NULL buffer or size 0
 * returns buffer untouched. */
char *vesk_mac(char *buffer, size_t size) UB_NOEXCEPT;

/* Zeroes size bytes of bytes; when size is VESK_MAC_BUFFER_SIZE or more,
 * fills bytes 0 to 5 from the first interface whose MAC is not zero. */
void vesk_get_mac(unsigned char *bytes, size_t size) UB_NOEXCEPT;

/* Enumeration callback of vesk_get_mac: converts mac into the buffer user
 * (VESK_MAC_BUFFER_SIZE bytes) unless bytes 0 to 5 already add up to more
 * than zero. NULL mac or user does nothing. */
void vesk_mac_cb(const char *name, const char *mac, const char *ip, void *user) UB_NOEXCEPT;

/* Converts a lower-case MAC text (12 digits, or pairs separated by ":",
 * ended by the terminator or a line feed) into bytes, which must hold
 * VESK_MAC_BUFFER_SIZE bytes; no more are written. 0; -1 for a NULL
 * argument. Upper-case letters and other separators are not recognised. */
int vesk_converte_mac(const char *mac, unsigned char *bytes) UB_NOEXCEPT;

/* Adds from the processor file "vendor" (vendor_id line), "model" (model
 * name line) and "cores" (the count of processor lines); the last line of
 * a kind wins. Nothing when the file cannot be opened. */
void vesk_machine_info_proc(json_value *object) UB_NOEXCEPT;

/* Adds "so", "id" and "hostname" from the first line of the issue,
 * machine-id and host-name files, cut at the first line feed or
 * backslash; a line with neither, or an empty file, adds nothing. */
void vesk_machine_info_etc(json_value *object) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
