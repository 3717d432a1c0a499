// Durable whole-file replacement: temporary, fsync, rename, fsync of the
// directory.

#include "os/files.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int osReplaceFile(const char* path, const void* data, size_t size, unsigned mode) {
  if (path == nullptr || (data == nullptr && size > 0)) {
    errno = EINVAL;
    return 0;
  }
  const std::string file(path);
  const std::string temp = file + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return 0;
  bool written = WriteAll(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
  int error = errno;
  // close() is not retried: on Linux the descriptor is gone even after EINTR.
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written || rename(temp.c_str(), file.c_str()) != 0) {
    if (written) error = errno;
    unlink(temp.c_str());
    errno = error;
    return 0;
  }
  int dir_fd = open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return 1;
}
