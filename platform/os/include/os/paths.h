/*
 * paths.h: file-system paths of the suite on Linux.
 *
 * The suite was written for drive-letter paths joined with backslashes; here
 * "/" joins and the Windows defaults have Linux counterparts. Every function
 * writes only inside the caller's buffer (size bytes, NUL included) and
 * returns 1 on success, 0 when the result would not fit or a call failed;
 * on failure the buffer still holds a NUL-terminated text. Thread-safe.
 */
#ifndef OS_PATHS_H_
#define OS_PATHS_H_

#include <stddef.h>

#ifdef __cplusplus
#include <string>
#include <string_view>
extern "C" {
#endif

#define OS_PATH_SEPARATOR '/'
#define OS_PATH_SEPARATOR_TEXT "/"

/* Where the suite is installed when nothing says otherwise. */
#define OS_DEFAULT_INSTALL_DIR "/opt/brackwin/harrowdir"
/* Where the MQ installation is when nothing says otherwise. */
#define OS_DEFAULT_MQM_DIR "/var/mqm"

/* Appends "/" to a non-empty path that does not already end in one. */
int osTerminatePath(char* path, size_t size);

/* osTerminatePath(path), then appends name (when not null). */
int osJoinPath(char* path, size_t size, const char* name);

/* The current working directory. */
int osGetCurrentDir(char* directory, size_t size);

/* Cuts path after its last "/", keeping that "/" ("/a/b" -> "/a/", "/a/" ->
 * "/a/"). Returns 0 and leaves the path alone when it holds no "/". */
int osCutAfterLastSeparator(char* path);

/* Creates directory and its missing parents with mode (less the umask).
 * 1 when the directory exists afterwards. */
int osMakeDirs(const char* directory, unsigned mode);

#ifdef __cplusplus
}

namespace os {

// dir joined with name by exactly one "/" (name alone when dir is empty).
inline std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (!path.empty() && path.back() != OS_PATH_SEPARATOR) path += OS_PATH_SEPARATOR;
  path += name;
  return path;
}

}  // namespace os
#endif

#endif /* OS_PATHS_H_ */
