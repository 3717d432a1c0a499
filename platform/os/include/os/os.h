/*
 * os.h: everything the platform layer offers in place of Windows: the
 * registry stand-in, paths, the install directory, names, socket error
 * codes; and for C++ callers durable file replacement and fault points.
 * This library depends on nothing of the suite.
 */
#ifndef OS_OS_H_
#define OS_OS_H_

#include <os/install_dir.h>
#include <os/names.h>
#include <os/paths.h>
#include <os/registry.h>
#include <os/socket_errors.h>
#ifdef __cplusplus
#include <os/fault_injection.h>
#include <os/files.h>
#endif

#endif /* OS_OS_H_ */
