/*
 * os.h: everything the platform layer offers in place of Windows: the
 * registry stand-in, paths, names, and (when present) socket error codes.
 * This library depends on nothing of the suite.
 */
#ifndef OS_OS_H_
#define OS_OS_H_

#include <os/names.h>
#include <os/paths.h>
#include <os/registry.h>
#if __has_include(<os/socket_errors.h>)
#include <os/socket_errors.h>
#endif

#endif /* OS_OS_H_ */
