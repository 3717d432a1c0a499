// file_util.cpp: POSIX implementation of the file interface.
#include "file_util.h"

#include <os/fault_injection.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstring>

namespace groupdb {
namespace {

bool Injected(const char* call, const std::string& path) {
  return os::FaultsArmed() && os::FaultPointFails(std::string(kFaultPointPrefix) + call, path);
}

bool g_skip_sync = false;
uint64_t g_sync_count = 0;

}  // namespace

void SetSyncSkippedForTests(bool skip) { g_skip_sync = skip; }
uint64_t SyncCount() { return g_sync_count; }

Status Status::Io(const char* call, const std::string& path, int err) {
  Status s(kIoError, std::string(call) + " " + path + ": " + std::strerror(err));
  s.os_error_ = err;
  return s;
}

Status Status::Corrupt(const std::string& path, const std::string& what) {
  return Status(kCorrupt, path + ": " + what);
}

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), unsynced_(other.unsynced_) {
  other.fd_ = -1;
  other.unsynced_ = false;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    unsynced_ = other.unsynced_;
    other.fd_ = -1;
    other.unsynced_ = false;
  }
  return *this;
}

static Status OpenWith(const std::string& path, int flags, File* out, int* fd_out) {
  if (Injected("open", path)) return Status::Io("open", path, EIO);
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);  // data holds passwords: owner only
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::Io("open", path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno ? errno : EISDIR;
    if (S_ISDIR(st.st_mode)) err = EISDIR;
    ::close(fd);
    return Status::Io("open", path, err);
  }
  *fd_out = fd;
  return Status::Ok();
}

Status File::OpenExisting(const std::string& path, File* out) {
  int fd = -1;
  Status s = OpenWith(path, O_RDWR, out, &fd);
  if (!s.ok()) return s;
  out->Close();
  out->fd_ = fd;
  out->path_ = path;
  return s;
}

Status File::Create(const std::string& path, File* out) {
  int fd = -1;
  Status s = OpenWith(path, O_RDWR | O_CREAT | O_TRUNC, out, &fd);
  if (!s.ok()) return s;
  out->Close();
  out->fd_ = fd;
  out->path_ = path;
  return s;
}

Status File::OpenReadOnly(const std::string& path, File* out) {
  int fd = -1;
  Status s = OpenWith(path, O_RDONLY, out, &fd);
  if (!s.ok()) return s;
  out->Close();
  out->fd_ = fd;
  out->path_ = path;
  return s;
}

Status File::OpenReadOnly(const std::string& path, File* out, uint64_t* size) {
  Status s = OpenReadOnly(path, out);
  if (s.ok()) s = out->Size(size);
  return s;
}

Status File::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (Injected("read", path_)) return Status::Io("read", path_, EIO);
  auto* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Status::Io("read", path_, errno);
    }
    if (r == 0) return Status(kIoError, "read " + path_ + ": short read at offset " + std::to_string(offset));
    done += static_cast<size_t>(r);
  }
  return Status::Ok();
}

Status File::WriteAt(uint64_t offset, const void* buf, size_t n) {
  unsynced_ = true;  // first: a failed write may have reached the file in part
  if (Injected("write", path_)) return Status::Io("write", path_, EIO);
  const auto* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Status::Io("write", path_, errno);
    }
    done += static_cast<size_t>(r);
  }
  return Status::Ok();
}

Status File::Sync() {
  if (Injected("fsync", path_)) return Status::Io("fsync", path_, EIO);
  if (g_skip_sync) {
    unsynced_ = false;
    return Status::Ok();
  }
  ++g_sync_count;
  // fdatasync is enough for the records; the file size matters too, and
  // fdatasync covers a size change as well.
  if (::fdatasync(fd_) != 0) return Status::Io("fsync", path_, errno);
  unsynced_ = false;
  return Status::Ok();
}

Status File::SyncIfWritten() { return unsynced_ ? Sync() : Status::Ok(); }

Status File::Size(uint64_t* size) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Status::Io("fstat", path_, errno);
  *size = static_cast<uint64_t>(st.st_size);
  return Status::Ok();
}

void File::Close() {
  // close() is not retried after EINTR: on Linux the descriptor is gone
  // either way, and a retry could close a descriptor another open reused.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  unsynced_ = false;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status MakeDirectory(const std::string& path) {
  if (Injected("mkdir", path)) return Status::Io("mkdir", path, EIO);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Status::Io("mkdir", path, errno);
  return Status::Ok();
}

Status RenamePath(const std::string& from, const std::string& to) {
  if (Injected("rename", from)) return Status::Io("rename", from, EIO);
  if (::rename(from.c_str(), to.c_str()) != 0) return Status::Io("rename", from + " -> " + to, errno);
  return Status::Ok();
}

Status RemoveFile(const std::string& path) {
  if (Injected("unlink", path)) return Status::Io("unlink", path, EIO);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Status::Io("unlink", path, errno);
  return Status::Ok();
}

Status RemoveTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return Status::Ok();
    return Status::Io("stat", path, errno);
  }
  if (!S_ISDIR(st.st_mode)) return RemoveFile(path);
  std::vector<std::string> names;
  Status s = ListDirectory(path, &names);
  if (!s.ok()) return s;
  for (const auto& n : names) {
    s = RemoveTree(path + "/" + n);
    if (!s.ok()) return s;
  }
  if (::rmdir(path.c_str()) != 0 && errno != ENOENT) return Status::Io("rmdir", path, errno);
  return Status::Ok();
}

Status SyncDirectory(const std::string& path) {
  if (Injected("fsync", path)) return Status::Io("fsync", path, EIO);
  if (g_skip_sync) return Status::Ok();
  ++g_sync_count;
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::Io("open", path, errno);
  int rc = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (rc != 0) return Status::Io("fsync", path, err);
  return Status::Ok();
}

Status CopyFileSynced(const std::string& src, const std::string& dst) {
  if (Injected("copy", src)) return Status::Io("copy", src, EIO);
  File in;
  Status s = File::OpenReadOnly(src, &in);
  if (!s.ok()) return s;
  File out;
  s = File::Create(dst, &out);
  if (!s.ok()) return s;
  uint64_t size = 0;
  s = in.Size(&size);
  if (!s.ok()) return s;
  std::vector<char> buf(static_cast<size_t>(std::min<uint64_t>(size, 1 << 20)));
  for (uint64_t off = 0; off < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - off));
    s = in.ReadAt(off, buf.data(), n);
    if (!s.ok()) return s;
    s = out.WriteAt(off, buf.data(), n);
    if (!s.ok()) return s;
    off += n;
  }
  return out.Sync();
}

Status ListDirectory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* d = ::opendir(path.c_str());
  if (d == nullptr) return Status::Io("opendir", path, errno);
  while (struct dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names->push_back(n);
  }
  ::closedir(d);
  return Status::Ok();
}

namespace {

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// One attempt at both locks. kLocked when another process holds either;
// *retry when the lock file was replaced between our open and our lock.
Status TryLock(const std::string& path, int* file_fd, int* dir_fd, bool* retry) {
  *retry = false;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Status::Io("open", path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Status(kLocked, "lock " + path + ": held by another process");
    return Status::Io("flock", path, err);
  }
  // The lock is only worth something on the file that the name shows now:
  // a holder that deleted or replaced it left us a lock nobody else sees.
  struct stat held, named;
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || !SameFile(held, named)) {
    ::close(fd);
    *retry = true;
    return Status(kLocked, "lock " + path + ": file replaced while locking");
  }
  // The directory itself is locked too, so that deleting the lock file while
  // the group is held lets nobody in beside the holder.
  const std::string dir = path.substr(0, path.rfind('/') + 1);
  int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) {
    int err = errno;
    ::close(fd);
    return Status::Io("open", dir, err);
  }
  if (::flock(dfd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(dfd);
    ::close(fd);
    if (err == EWOULDBLOCK) return Status(kLocked, "lock " + dir + ": held by another process");
    return Status::Io("flock", dir, err);
  }
  *file_fd = fd;
  *dir_fd = dfd;
  return Status::Ok();
}

}  // namespace

Status LockFile::Acquire(const std::string& path, int wait_ms) {
  Release();
  if (Injected("open", path)) return Status::Io("open", path, EIO);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    bool retry = false;
    Status s = TryLock(path, &fd_, &dir_fd_, &retry);
    if (s.code() != kLocked) return s;
    if (!retry) {
      if (std::chrono::steady_clock::now() >= end) return s;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

void LockFile::Release() {
  if (dir_fd_ >= 0) ::close(dir_fd_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  dir_fd_ = -1;
}

}  // namespace groupdb
