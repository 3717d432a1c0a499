/*
 * files.h: writing files so that a failure or a crash never leaves half a
 * file, and the results those writes report.
 *
 * os::ReplaceFileDurably (osReplaceFile from C) is the one way the suite
 * replaces a whole file (registry hives, PCF files, the MQ installation's
 * files, the console's profile): write a
 * temporary file beside the target, fsync it, close it, rename it over the
 * target, fsync the directory. Every step's failure is reported; a failure
 * before the rename leaves the old file as it was and removes the
 * temporary. A failed directory fsync is reported too, although the rename
 * has then happened: the new content is in place but may not survive a
 * power cut, and the caller must not acknowledge it as durable.
 *
 * Fault points (os/fault_injection.h), subject the target's path:
 *   replace-file.create, replace-file.write, replace-file.fsync,
 *   replace-file.close, replace-file.rename, replace-file.sync-dir
 *
 * Thread-safe; two threads replacing the same file each use their own
 * temporary, and the last rename wins.
 */
#ifndef OS_FILES_H_
#define OS_FILES_H_

#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* os::ReplaceFileDurably for C callers: 1 on success; 0 with errno set on
 * failure. mode is the file's exact mode. */
int osReplaceFile(const char* path, const void* data, size_t size, unsigned mode);

#ifdef __cplusplus
}

#include <string>
#include <string_view>

namespace os {

// The result of a file operation: success, or errno with a message naming
// the failed call and the path ("rename /a/x.tmp -> /a/x: No space left on
// device").
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  // errno_value != 0; the message is "<call> <path>: <strerror>".
  static Status Errno(std::string_view call, std::string_view path, int errno_value);

  bool ok() const { return errno_value_ == 0; }
  int errno_value() const { return errno_value_; }
  const std::string& message() const { return message_; }

 private:
  int errno_value_ = 0;
  std::string message_;
};

// Writes all n bytes at the file's position, going on after short writes
// and EINTR. False with errno set on failure (some bytes may be written).
bool WriteFull(int fd, const void* data, size_t n);

// As WriteFull, at offset (pwrite); the file position is not used.
bool PwriteFull(int fd, const void* data, size_t n, off_t offset);

// The directory part of path: "/a/b" -> "/a", "/b" -> "/", "b" -> ".".
std::string DirectoryOf(std::string_view path);

// fsyncs the directory so that renames and creations in it are durable.
Status SyncDirectory(const std::string& directory);

// Replaces path with content as described at the top. The file gets exactly
// mode (not reduced by the umask); pass 0600 for anything private.
Status ReplaceFileDurably(const std::string& path, std::string_view content, mode_t mode);

}  // namespace os
#endif  // __cplusplus

#endif  // OS_FILES_H_
