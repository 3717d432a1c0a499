// Lock files: created for the owner only, narrowed when older ones were
// not, and a holder that keeps the lock makes a bounded wait say "in use".

#include "os/file_lock.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>

#include "os/registry.h"
#include "registry_lock_wait.h"
#include "testsupport/testsupport.h"

namespace {

using std::chrono::milliseconds;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

// A child holding a shared lock on path (as any user who can open the file
// could) until the pipe closes.
struct SharedHolder {
  pid_t pid = -1;
  int release_fd = -1;
  explicit SharedHolder(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return;
    int ready[2];
    if (pipe(ready) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(fds[1]);
      close(ready[0]);
      int fd = open(path.c_str(), O_RDONLY);
      if (fd < 0 || flock(fd, LOCK_SH) != 0) _exit(1);
      char c = 'x';
      if (write(ready[1], &c, 1) != 1) _exit(1);
      (void)read(fds[0], &c, 1);
      _exit(0);
    }
    close(fds[0]);
    close(ready[1]);
    char c;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    release_fd = fds[1];
  }
  ~SharedHolder() {
    if (release_fd >= 0) close(release_fd);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
};

TEST(OsFileLockTest, LockFileIsOwnerOnlyUnderTheUsualUmask) {
  harrow::testsupport::TempDir dir("file_lock");
  mode_t old_umask = umask(022);
  os::FileLock lock;
  ASSERT_TRUE(os::FileLock::Acquire(dir.Sub("a.lock"), milliseconds(100), &lock).ok());
  EXPECT_EQ(ModeOf(dir.Sub("a.lock")), 0600u);
  lock.Release();
  // One left readable by everyone (by an older version) is narrowed.
  int fd = open(dir.Sub("b.lock").c_str(), O_CREAT | O_WRONLY, 0644);
  close(fd);
  ASSERT_EQ(ModeOf(dir.Sub("b.lock")), 0644u);
  ASSERT_TRUE(os::FileLock::Acquire(dir.Sub("b.lock"), milliseconds(100), &lock).ok());
  EXPECT_EQ(ModeOf(dir.Sub("b.lock")), 0600u);
  umask(old_umask);
}

TEST(OsFileLockTest, HeldLockMakesTheBoundedWaitReportInUse) {
  harrow::testsupport::TempDir dir("file_lock");
  const std::string path = dir.Sub("x.lock");
  os::FileLock first;
  ASSERT_TRUE(os::FileLock::Acquire(path, milliseconds(100), &first).ok());
  {
    // Another thread's descriptor is excluded too.
    os::FileLock second;
    auto started = std::chrono::steady_clock::now();
    os::Status status = os::FileLock::Acquire(path, milliseconds(200), &second);
    EXPECT_EQ(status.errno_value(), EWOULDBLOCK);
    EXPECT_NE(status.message().find("in use"), std::string::npos) << status.message();
    EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(200));
    EXPECT_FALSE(second.held());
  }
  first.Release();
  {
    SharedHolder holder(path);
    os::FileLock blocked;
    EXPECT_EQ(os::FileLock::Acquire(path, milliseconds(200), &blocked).errno_value(), EWOULDBLOCK);
  }
  os::FileLock after;
  EXPECT_TRUE(os::FileLock::Acquire(path, milliseconds(200), &after).ok());
}

// The registry's writer lock: owner-only, and a reader holding it with a
// shared lock no longer blocks writers for ever: they give up "in use".
TEST(OsFileLockTest, RegistryWriterLockIsOwnerOnlyAndItsWaitBounded) {
  harrow::testsupport::TempDir dir("registry_lock");
  harrow::testsupport::ScopedEnv env("HRLCOMPACT_REGISTRY", dir.path());
  mode_t old_umask = umask(022);
  ASSERT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "first", 1), OS_REG_SUCCESS);
  EXPECT_EQ(ModeOf(dir.Sub("machine.hive.lock")), 0600u);
  os::registry::SetLockWaitForTests(milliseconds(200));
  {
    SharedHolder holder(dir.Sub("machine.hive.lock"));
    EXPECT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "second", 2), OS_REG_SHARING_VIOLATION);
  }
  EXPECT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "second", 2), OS_REG_SUCCESS);
  os::registry::SetLockWaitForTests(milliseconds(10000));
  umask(old_umask);
}

}  // namespace
