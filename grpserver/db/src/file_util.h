// file_util.h: the one narrow interface through which the database touches
// the operating system: positioned reads and writes, fsync, directories,
// renames, copies and the advisory lock.
//
// Every call that fails returns a Status with kIoError naming the call, the
// path and errno. Each call is a fault point (os/fault_injection.h) named
// "groupdb-" and the call ("groupdb-open", "groupdb-read", "groupdb-write",
// "groupdb-fsync", "groupdb-rename", "groupdb-mkdir", "groupdb-copy",
// "groupdb-unlink"), its subject the path, so that tests can make chosen
// calls fail as if the system had returned EIO, or end the process there.
//
// Single thread, like the engine.
#ifndef GROUPDB_FILE_UTIL_H_
#define GROUPDB_FILE_UTIL_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "status.h"

namespace groupdb {

// The prefix of the file layer's fault point names.
constexpr const char* kFaultPointPrefix = "groupdb-";
// Tests that kill processes (and never cut the power) may skip the syncs to
// the disk, which otherwise take most of their time. Off unless set.
void SetSyncSkippedForTests(bool skip);
// The number of syncs (fdatasync of a file, fsync of a directory) asked of
// the system since the process started: what a benchmark counts.
uint64_t SyncCount();

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Opens an existing file for reading and writing.
  static Status OpenExisting(const std::string& path, File* out);
  // Creates the file anew (truncating any file of that name).
  static Status Create(const std::string& path, File* out);
  static Status OpenReadOnly(const std::string& path, File* out);
  // The same, and the file's size in *size.
  static Status OpenReadOnly(const std::string& path, File* out, uint64_t* size);

  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Reads exactly n bytes at offset; fewer bytes (end of file) is kIoError.
  Status ReadAt(uint64_t offset, void* buf, size_t n) const;
  Status WriteAt(uint64_t offset, const void* buf, size_t n);
  Status Sync();
  // Sync, when anything was written (or tried) through this object since
  // its last sync or open.
  Status SyncIfWritten();
  Status Size(uint64_t* size) const;
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
  bool unsynced_ = false;  // written since the last sync
};

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
Status MakeDirectory(const std::string& path);
Status RenamePath(const std::string& from, const std::string& to);
Status RemoveFile(const std::string& path);           // missing file is fine
Status RemoveTree(const std::string& path);           // missing tree is fine
Status SyncDirectory(const std::string& path);
// Copies src to dst (created anew) and fsyncs dst. No shell is involved.
Status CopyFileSynced(const std::string& src, const std::string& dst);
// Names of the directory's entries, without "." and "..".
Status ListDirectory(const std::string& path, std::vector<std::string>* names);

// An exclusive advisory lock (flock) on a lock file, created for its owner
// only, and on the directory that holds it. The kernel drops both when the
// process dies, so a crash never leaves the group locked.
class LockFile {
 public:
  LockFile() = default;
  ~LockFile() { Release(); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  // Waits up to wait_ms for another holder to let go; then kLocked.
  // kIoError when the file can't be made.
  static constexpr int kDefaultWaitMs = 500;
  Status Acquire(const std::string& path, int wait_ms = kDefaultWaitMs);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  int dir_fd_ = -1;
};

// Little-endian words, as every word of the files is stored.
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace groupdb

#endif  // GROUPDB_FILE_UTIL_H_
