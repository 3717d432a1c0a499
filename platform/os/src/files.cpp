// Durable whole-file replacement and full writes.

#include "os/files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "os/fault_injection.h"

namespace os {

Status Status::Errno(std::string_view call, std::string_view path, int errno_value) {
  Status status;
  status.errno_value_ = errno_value != 0 ? errno_value : EIO;
  status.message_ = std::string(call) + " " + std::string(path) + ": " +
                    std::strerror(status.errno_value_);
  return status;
}

namespace {

// Calls write_some(pointer, bytes left, bytes done) until every byte is
// written, going on after short writes and EINTR.
template <typename WriteSome>
bool WriteEverything(const void* data, size_t n, WriteSome write_some) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < n) {
    ssize_t written = write_some(p + done, n - done, done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool WriteFull(int fd, const void* data, size_t n) {
  return WriteEverything(data, n, [fd](const char* p, size_t left, size_t) {
    return ::write(fd, p, left);
  });
}

bool PwriteFull(int fd, const void* data, size_t n, off_t offset) {
  return WriteEverything(data, n, [fd, offset](const char* p, size_t left, size_t done) {
    return ::pwrite(fd, p, left, offset + static_cast<off_t>(done));
  });
}

std::string DirectoryOf(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

Status SyncDirectory(const std::string& directory) {
  if (FaultPointFails("replace-file.sync-dir", directory)) {
    return Status::Errno("fsync", directory, EIO);
  }
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::Errno("open", directory, errno);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (result != 0) return Status::Errno("fsync", directory, error);
  return Status::Ok();
}

namespace {

// Fails as the system would have, with EIO, when the test armed the point.
bool Injected(const char* point, const std::string& path) {
  if (!FaultPointFails(point, path)) return false;
  errno = EIO;
  return true;
}

}  // namespace

Status ReplaceFileDurably(const std::string& path, std::string_view content, mode_t mode) {
  // A unique temporary beside the target (same file system, so the rename
  // is atomic); mkostemp creates it for the owner only until fchmod.
  std::string temp_template = path + ".tmpXXXXXX";
  std::vector<char> temp_name(temp_template.begin(), temp_template.end());
  temp_name.push_back('\0');
  int fd = Injected("replace-file.create", path) ? -1 : ::mkostemp(temp_name.data(), O_CLOEXEC);
  if (fd < 0) return Status::Errno("create", temp_template, errno);
  std::string temp(temp_name.data());

  auto fail = [&](const char* call, int error, bool close_fd) {
    if (close_fd) ::close(fd);
    ::unlink(temp.c_str());
    return Status::Errno(call, temp, error);
  };
  if (::fchmod(fd, mode) != 0) return fail("fchmod", errno, true);
  if (Injected("replace-file.write", path) || !WriteFull(fd, content.data(), content.size())) {
    return fail("write", errno, true);
  }
  if (Injected("replace-file.fsync", path) || ::fsync(fd) != 0) return fail("fsync", errno, true);
  // close() is not retried on EINTR: on Linux the descriptor is gone either
  // way. A failed close can report a lost write, so it counts.
  int closed = ::close(fd);
  if (Injected("replace-file.close", path)) closed = -1;
  if (closed != 0) return fail("close", errno, false);
  if (Injected("replace-file.rename", path) || ::rename(temp.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    return Status::Errno("rename", temp + " -> " + path, error);
  }
  return SyncDirectory(DirectoryOf(path));
}

}  // namespace os

extern "C" int osReplaceFile(const char* path, const void* data, size_t size, unsigned mode) {
  if (path == nullptr || (data == nullptr && size > 0)) {
    errno = EINVAL;
    return 0;
  }
  std::string_view content(static_cast<const char*>(data), size);
  os::Status status = os::ReplaceFileDurably(path, content, static_cast<mode_t>(mode));
  if (!status.ok()) errno = status.errno_value();
  return status.ok() ? 1 : 0;
}
