// Files and the lock against other local users: everything the database
// creates (data, index and backup files, their directories, the lock file)
// is for its owner only even under the usual umask, and the lock keeps a
// second process out even when its file is deleted under the holder.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "db_fixture.h"
#include "engine.h"
#include "global_db.h"

namespace groupdb {
namespace {

class FilesAndLocksTest : public testing::DbFixture {
 protected:
  // Every entry under dir whose mode lets the group or others in.
  static void OpenToOthers(const std::string& dir, const std::string& rel, std::vector<std::string>* open) {
    std::vector<std::string> names;
    ASSERT_TRUE(ListDirectory(dir, &names).ok());
    for (const auto& n : names) {
      struct stat st;
      ASSERT_EQ(::lstat((dir + n).c_str(), &st), 0);
      if ((st.st_mode & 077) != 0) open->push_back(rel + n);
      if (S_ISDIR(st.st_mode)) OpenToOthers(dir + n + "/", rel + n + "/", open);
    }
  }
  // Runs DbOpen of the group in a child process; its out code.
  int OpenInChild() {
    pid_t pid = fork();
    if (pid == 0) {
      Global().engine.Abandon();  // a fresh process holds nothing of ours
      int out = 0;
      _exit(DbOpen(group_.c_str(), &out) == 1 ? 0 : out == GDB_RC_IN_USE ? 22 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(FilesAndLocksTest, EverythingCreatedIsForTheOwnerOnlyUnderUmask022) {
  const mode_t old = ::umask(022);
  int out = -1;
  ASSERT_EQ(OpenGroupDatabase(group_.c_str(), &out), 1) << out;  // a new group and its first backup
  AddManager("M1");
  GroupDbRecord q = Queue("M1", "N1", "QM1", "Q1");
  ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1);
  ASSERT_EQ(DbCloseLocked(), 1);
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;    // backup.prev too
  ASSERT_EQ(DbRestore(group_.c_str(), &out), 1) << out;   // an aside directory
  ASSERT_EQ(IsamRebuildIndexes(group_.c_str(), &out), 1) << out;
  ::umask(old);
  std::vector<std::string> open;
  OpenToOthers(GroupDir(), "", &open);
  EXPECT_TRUE(open.empty()) << open.size() << " entries open to others, the first " << open.front();
  struct stat st;
  ASSERT_EQ(::stat((GroupDir() + "dblock.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((GroupDir() + "backup.prev").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(FilesAndLocksTest, ASecondProcessIsRefusedWithinABoundedWait) {
  Open();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenInChild(), 22);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(DbCloseLocked(), 1);
  EXPECT_EQ(OpenInChild(), 0) << "the lock outlived its holder";
}

TEST_F(FilesAndLocksTest, TheLockHoldsWhenItsFileIsDeletedOrReplaced) {
  Open();
  ASSERT_TRUE(RemoveFile(GroupDir() + "dblock.db").ok());
  EXPECT_EQ(OpenInChild(), 22) << "lock file deleted";
  testing::WriteWholeFile(GroupDir() + "dblock.db", {});
  EXPECT_EQ(OpenInChild(), 22) << "lock file replaced";
  ASSERT_EQ(DbCloseLocked(), 1);
  EXPECT_EQ(OpenInChild(), 0);
}

}  // namespace
}  // namespace groupdb
