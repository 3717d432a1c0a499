/*
 * names.h: who and where this process is: login, host and program names.
 *
 * These stand in for the user name, computer name and module file name of
 * the Windows build. Each function fills the caller's buffer (size bytes,
 * NUL included) and returns 1 when the whole name fit, 0 when it did not or
 * the name could not be had; the buffer then holds what fit, NUL-terminated
 * (empty when nothing was had). Thread-safe.
 */
#ifndef OS_NAMES_H_
#define OS_NAMES_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The name of the effective user (passwd entry), else $USER, else $LOGNAME. */
int osGetLoginName(char* name, size_t size);

/* This host's name as gethostname gives it. */
int osGetHostName(char* name, size_t size);

/* The running program's file name without its directory ("grpserver"). */
int osGetProgramName(char* name, size_t size);

/* The running program's full path (the link /proc/self/exe). */
int osGetProgramPath(char* path, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* OS_NAMES_H_ */
