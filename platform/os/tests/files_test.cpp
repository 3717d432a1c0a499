// Durable file replacement: a failure at any step is reported, leaves the
// old file as it was and leaves no temporary behind.

#include "os/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "os/fault_injection.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

class OsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("os_files");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    path_ = dir_ + "/target.ini";
  }
  void TearDown() override {
    os::DisarmFaults();
    temp_.reset();
  }

  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::string dir_;
  std::string path_;
};

TEST_F(OsFilesTest, ReplacesContentAndSetsExactMode) {
  mode_t old_umask = umask(022);
  ASSERT_TRUE(os::ReplaceFileDurably(path_, "first", 0600).ok());
  ASSERT_TRUE(os::ReplaceFileDurably(path_, "second", 0640).ok());
  umask(old_umask);
  EXPECT_EQ(Read(path_), "second");
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Names(), std::vector<std::string>{"target.ini"});
}

TEST_F(OsFilesTest, FailureAtEachStepKeepsTheOldFileAndNoTemporary) {
  struct Case {
    const char* point;
    const char* call;          // the call the message names
    bool new_content_visible;  // the rename has happened
  } cases[] = {
      {"replace-file.create", "create", false}, {"replace-file.write", "write", false},
      {"replace-file.fsync", "fsync", false},   {"replace-file.close", "close", false},
      {"replace-file.rename", "rename", false}, {"replace-file.sync-dir", "fsync", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    ASSERT_TRUE(os::ReplaceFileDurably(path_, "old content", 0600).ok());
    os::ArmFault(c.point, 1, os::FaultAction::kFail);
    os::Status status = os::ReplaceFileDurably(path_, "new content", 0600);
    os::DisarmFaults();
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.errno_value(), EIO);
    EXPECT_EQ(status.message().rfind(c.call, 0), 0u) << status.message();
    EXPECT_NE(status.message().find(dir_), std::string::npos) << status.message();
    EXPECT_EQ(Read(path_), c.new_content_visible ? "new content" : "old content");
    EXPECT_EQ(Names(), std::vector<std::string>{"target.ini"});
  }
}

TEST_F(OsFilesTest, MissingDirectoryIsReportedWithThePath) {
  os::Status status = os::ReplaceFileDurably(dir_ + "/no/such/file", "x", 0600);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.errno_value(), ENOENT);
  EXPECT_NE(status.message().find(dir_ + "/no/such/file"), std::string::npos);
}

TEST_F(OsFilesTest, DirectoryOfPaths) {
  struct {
    const char* path;
    const char* dir;
  } cases[] = {{"/a/b", "/a"}, {"/b", "/"}, {"b", "."}, {"a/b/c", "a/b"}};
  for (const auto& c : cases) EXPECT_EQ(os::DirectoryOf(c.path), c.dir) << c.path;
}

TEST_F(OsFilesTest, WriteFullWritesEverythingThroughAPipe) {
  // A pipe takes at most its buffer per write: a large block needs several.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string block(1 << 20, 'q');
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof(buffer))) > 0) received.append(buffer, n);
  });
  EXPECT_TRUE(os::WriteFull(fds[1], block.data(), block.size()));
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(received, block);
}

}  // namespace
