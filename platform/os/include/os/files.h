/*
 * files.h: durable replacement of a whole file.
 *
 * osReplaceFile writes the bytes to "<path>.tmp" (created with mode, less the
 * umask), fsyncs it, renames it over path and fsyncs the directory, so a
 * reader sees either the old file or the new one, never a mix, and the new
 * one survives a crash once the call returned 1. On failure the temporary is
 * removed, path is untouched, errno tells why and 0 is returned. Two writers
 * of one path must be serialised by the caller (they share the temporary).
 */
#ifndef OS_FILES_H_
#define OS_FILES_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int osReplaceFile(const char* path, const void* data, size_t size, unsigned mode);

#ifdef __cplusplus
}
#endif

#endif /* OS_FILES_H_ */
