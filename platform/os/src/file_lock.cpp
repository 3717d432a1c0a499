// Lock files: owner-only, exclusive flock, bounded wait.

#include "os/file_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace os {

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileLock::Release() {
  // close() is not retried on EINTR: on Linux the descriptor is gone either
  // way, and with it the lock.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Status FileLock::Acquire(const std::string& path, std::chrono::milliseconds wait, FileLock* lock) {
  lock->Release();
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Status::Errno("open", path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return Status::Errno("fstat", path, error);
  }
  // A lock file left readable by others (by an older version) is narrowed;
  // one of another user's is left alone and only used.
  if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
    int error = errno;
    ::close(fd);
    return Status::Errno("fchmod", path, error);
  }
  auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return Status::Errno("lock", path + (error == EWOULDBLOCK ? " (in use)" : ""), error);
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  lock->fd_ = fd;
  return Status::Ok();
}

}  // namespace os
