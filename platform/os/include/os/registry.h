/*
 * registry.h: the registry stand-in, a small file-backed key/value tree.
 *
 * Two hives, one per root key, each kept in one text file
 * (docs/formats/registry-hive.md):
 *   HKEY_LOCAL_MACHINE  <dir>/machine.hive, dir = $HRLCOMPACT_REGISTRY, else
 *                       /etc/brackwin
 *   HKEY_CURRENT_USER   <dir>/user.hive, dir = $HRLCOMPACT_REGISTRY, else
 *                       $XDG_CONFIG_HOME/brackwin, else ~/.config/brackwin
 * The variables are read on every call, so tests can point a process at a
 * temporary directory at any time.
 *
 * Model: a key has a name, string values (REG_SZ) and 32-bit integer values
 * (REG_DWORD), and sub-keys. Key paths use "\" between names
 * ("Software\Brackwin\Harrowline Compact"). Key and value names compare
 * without regard to ASCII case and keep the case they were created with.
 * Sub-keys enumerate in case-insensitive name order. The empty value name is
 * the key's default value.
 *
 * Calls are shaped like the Windows registry calls the suite was written
 * against: they return OS_REG_SUCCESS (0) or an error code with the Windows
 * number, so code that compares against those numbers reads the same.
 * A key handle names a key by path; it does not keep the key alive. A handle
 * from osRegOpenKey/osRegCreateKey is released with osRegCloseKey; the root
 * keys need no closing.
 *
 * Durability and sharing: every change rewrites the hive file atomically
 * (temporary file, fsync, rename, fsync of the directory) while holding an
 * exclusive flock on "<hive>.lock" (os/file_lock.h: owner-only, waited for
 * at most 10 seconds, else OS_REG_SHARING_VIOLATION), so writers in several
 * processes and threads do not lose each other's changes; readers read the file as the
 * last rename left it. Thread-safe.
 */
#ifndef OS_REGISTRY_H_
#define OS_REGISTRY_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct os_reg_key* HKEY;

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

/* Value types (the Windows numbers). */
#define REG_SZ 1u
#define REG_DWORD 4u

/* Results (the Windows numbers). */
#define OS_REG_SUCCESS 0L
#define OS_REG_SHARING_VIOLATION 32L  /* the hive is in use: its writer lock stayed held */
#define OS_REG_FILE_NOT_FOUND 2L      /* no such key or value */
#define OS_REG_ACCESS_DENIED 5L       /* hive not writable; key has sub-keys */
#define OS_REG_INVALID_HANDLE 6L
#define OS_REG_INVALID_PARAMETER 87L  /* null argument, bad name */
#define OS_REG_MORE_DATA 234L         /* buffer too small; *size says how big */
#define OS_REG_NO_MORE_ITEMS 259L     /* enumeration index past the end */
#define OS_REG_CORRUPT 1015L          /* the hive file is not well formed */
#define OS_REG_IO_FAILED 1016L        /* reading or writing the hive failed */
#define OS_REG_KEY_DELETED 1018L      /* the handle's key no longer exists */
#define OS_REG_WRONG_TYPE 1630L       /* value exists with another type */

/* Longest key or value name, and longest string value, in bytes. */
#define OS_REG_MAX_NAME 255
#define OS_REG_MAX_STRING (1024 * 1024)

/* Opens the existing key sub_key under key (null or "" opens key itself).
 * On success *result is a new handle. */
long osRegOpenKey(HKEY key, const char* sub_key, HKEY* result);

/* As osRegOpenKey, creating the key and its missing parents first. */
long osRegCreateKey(HKEY key, const char* sub_key, HKEY* result);

/* Releases a handle; the root keys are accepted and left alone. */
long osRegCloseKey(HKEY key);

/* Reads value name (null or "" for the default value). *type gets REG_SZ
 * or REG_DWORD (type may be null). data receives the bytes: for REG_SZ the
 * characters and a NUL, for REG_DWORD four bytes in host order. *size is
 * the buffer's size on entry and the bytes needed on return; with data null
 * only the size is reported. Too small a buffer gives OS_REG_MORE_DATA and
 * leaves data untouched. */
long osRegQueryValue(HKEY key, const char* name, uint32_t* type, void* data, uint32_t* size);

/* osRegQueryValue restricted to REG_SZ (else OS_REG_WRONG_TYPE). */
long osRegQueryString(HKEY key, const char* name, char* text, uint32_t* size);

/* osRegQueryValue restricted to REG_DWORD (else OS_REG_WRONG_TYPE). */
long osRegQueryInt(HKEY key, const char* name, uint32_t* value);

/* Creates or replaces value name as REG_SZ with text (NUL-terminated). */
long osRegSetString(HKEY key, const char* name, const char* text);

/* Creates or replaces value name as REG_DWORD. */
long osRegSetInt(HKEY key, const char* name, uint32_t value);

/* The name of the index-th sub-key (0 first) of key into name; *size is
 * the buffer's size on entry and the name's length without NUL on success.
 * OS_REG_NO_MORE_ITEMS past the last; OS_REG_MORE_DATA when it does not
 * fit (*size then holds the bytes needed, NUL included). */
long osRegEnumKey(HKEY key, uint32_t index, char* name, uint32_t* size);

/* Deletes sub_key under key with its values. A key that still has sub-keys
 * is refused with OS_REG_ACCESS_DENIED, as on Windows. */
long osRegDeleteKey(HKEY key, const char* sub_key);

/* Deletes one value of key. */
long osRegDeleteValue(HKEY key, const char* name);

/* The file that holds root's hive (HKEY_LOCAL_MACHINE or
 * HKEY_CURRENT_USER), as the variables say now. */
long osRegHiveFile(HKEY root, char* path, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* OS_REGISTRY_H_ */
