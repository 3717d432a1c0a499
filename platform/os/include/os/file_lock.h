/*
 * file_lock.h: an exclusive lock on a lock file, taken with a bounded wait.
 *
 * The lock is an flock() on "<something>.lock": unlike POSIX record locks it
 * does not vanish when the process closes another descriptor of the file,
 * and it also excludes other threads of this process, which open their own
 * descriptor. The lock file is created readable and writable by its owner
 * only, and an existing one of ours that others could read is narrowed to
 * 0600: anyone who can open a lock file can take a shared lock on it and
 * hold every writer off for ever.
 *
 * A holder that keeps the lock past the caller's wait makes Acquire fail
 * with EWOULDBLOCK, which callers report as "in use". Thread-safe; a
 * FileLock belongs to one thread.
 */
#ifndef OS_FILE_LOCK_H_
#define OS_FILE_LOCK_H_

#include <chrono>
#include <string>

#include "os/files.h"

namespace os {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileLock& operator=(FileLock&& other) noexcept;

  // Opens (creating, mode 0600) path and takes an exclusive lock on it,
  // trying until wait has passed. On failure *lock holds nothing and the
  // status says why: EWOULDBLOCK when another holder kept it ("in use"),
  // else the errno of the failed open, fchmod or flock.
  static Status Acquire(const std::string& path, std::chrono::milliseconds wait, FileLock* lock);

  bool held() const { return fd_ >= 0; }
  // Releases the lock (closing its descriptor); nothing when not held.
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace os

#endif  // OS_FILE_LOCK_H_
