// Paths and the names of this process.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "os/names.h"
#include "os/paths.h"
#include "testsupport/testsupport.h"

namespace {

struct JoinCase {
  const char* dir;
  const char* name;
  const char* expected;
};

TEST(OsPathsTest, JoinAddsExactlyOneSeparator) {
  const JoinCase cases[] = {
      {"/opt/x", "y", "/opt/x/y"},
      {"/opt/x/", "y", "/opt/x/y"},
      {"", "y", "y"},
      {"/", "etc", "/etc"},
      {"rel", nullptr, "rel/"},
      {"", nullptr, ""},
  };
  for (const JoinCase& c : cases) {
    char path[64];
    std::strcpy(path, c.dir);
    EXPECT_EQ(osJoinPath(path, sizeof(path), c.name), 1);
    EXPECT_STREQ(path, c.expected) << c.dir;
    EXPECT_EQ(os::JoinPath(c.dir, c.name ? c.name : ""), c.expected);
  }
}

TEST(OsPathsTest, JoinNeverWritesPastTheBuffer) {
  char path[8] = "/abc";
  EXPECT_EQ(osJoinPath(path, 8, "xyz"), 0);  // "/abc/xyz" needs 9 bytes
  EXPECT_STREQ(path, "/abc/");
  char exact[9] = "/abc";
  EXPECT_EQ(osJoinPath(exact, 9, "xyz"), 1);
  EXPECT_STREQ(exact, "/abc/xyz");
  char full[4] = "abc";
  EXPECT_EQ(osTerminatePath(full, 4), 0);
  EXPECT_STREQ(full, "abc");
}

TEST(OsPathsTest, CutAfterLastSeparatorGivesTheParentWithItsSlash) {
  char a[] = "/tools/bin";
  EXPECT_EQ(osCutAfterLastSeparator(a), 1);
  EXPECT_STREQ(a, "/tools/");
  char b[] = "noslash";
  EXPECT_EQ(osCutAfterLastSeparator(b), 0);
  EXPECT_STREQ(b, "noslash");
}

TEST(OsPathsTest, MakeDirsCreatesParentsAndCurrentDirIsReported) {
  harrow::testsupport::TempDir temp("os_paths");
  ASSERT_FALSE(temp.path().empty());
  std::string deep = temp.Sub("a/b/c");
  EXPECT_EQ(osMakeDirs(deep.c_str(), 0755), 1);
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_EQ(osMakeDirs(deep.c_str(), 0755), 1);  // already there
  char cwd[4096];
  EXPECT_EQ(osGetCurrentDir(cwd, sizeof(cwd)), 1);
  EXPECT_EQ(std::string(cwd), std::filesystem::current_path().string());
  char tiny[2];
  EXPECT_EQ(osGetCurrentDir(tiny, sizeof(tiny)), 0);
}

TEST(OsNamesTest, ProgramNameIsTheTestBinary) {
  char name[256];
  ASSERT_EQ(osGetProgramName(name, sizeof(name)), 1);
  EXPECT_STREQ(name, "os_paths_names_test");
  char path[4096];
  ASSERT_EQ(osGetProgramPath(path, sizeof(path)), 1);
  EXPECT_EQ(std::string(path).rfind("/os_paths_names_test"), std::strlen(path) - std::strlen("/os_paths_names_test"));
}

TEST(OsNamesTest, HostAndLoginNamesAreTheSystems) {
  char host[256], expected[256];
  ASSERT_EQ(osGetHostName(host, sizeof(host)), 1);
  ASSERT_EQ(gethostname(expected, sizeof(expected)), 0);
  EXPECT_STREQ(host, expected);
  char login[256];
  ASSERT_EQ(osGetLoginName(login, sizeof(login)), 1);
  EXPECT_GT(std::strlen(login), 0u);
}

TEST(OsNamesTest, TooSmallBufferGetsTheTruncatedNameAndZero) {
  char name[4];
  EXPECT_EQ(osGetProgramName(name, sizeof(name)), 0);
  EXPECT_STREQ(name, "os_");
  EXPECT_EQ(osGetProgramName(nullptr, 0), 0);
}

}  // namespace
