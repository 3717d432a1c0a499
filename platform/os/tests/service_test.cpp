// Unit files for the servers: text, install, refusal to overwrite, removal.

#include <gtest/gtest.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>

#include "os/event_log.h"
#include "os/service.h"
#include "testsupport/testsupport.h"

namespace {

class UnitDir : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("os_service");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    unit_env_.emplace("HRLCOMPACT_UNIT_DIR", dir_);
  }
  void TearDown() override {
    unit_env_.reset();
    temp_.reset();
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::optional<harrow::testsupport::TempDir> temp_;
  std::optional<harrow::testsupport::ScopedEnv> unit_env_;
  std::string dir_;
};

const char* const kArgs[] = {"-console", nullptr};

TEST_F(UnitDir, TextIsTheExpectedUnit) {
  setenv("OS_SERVICE_TEST_VAR", "a b%c$d\"e\\f", 1);
  const char* const env[] = {"OS_SERVICE_TEST_VAR", "OS_SERVICE_TEST_UNSET", nullptr};
  unsetenv("OS_SERVICE_TEST_UNSET");
  OsServiceUnit unit = {"demo-svc", "Demo Service", "/opt/x y/bin/prog", kArgs, env};
  char text[2048];
  ASSERT_EQ(osServiceUnitText(&unit, text, sizeof(text)), 1);
  EXPECT_STREQ(text,
               "[Unit]\n"
               "Description=Demo Service\n"
               "After=network-online.target\n"
               "Wants=network-online.target\n"
               "\n[Service]\n"
               "Type=simple\n"
               "Environment=\"OS_SERVICE_TEST_VAR=a b%%c$$d\\\"e\\\\f\"\n"
               "ExecStart=\"/opt/x y/bin/prog\" \"-console\"\n"
               "KillSignal=SIGTERM\n"
               "Restart=no\n"
               "\n[Install]\n"
               "WantedBy=multi-user.target\n");
  unsetenv("OS_SERVICE_TEST_VAR");
  char small[16];
  EXPECT_EQ(osServiceUnitText(&unit, small, sizeof(small)), 0);
  EXPECT_STREQ(small, "");
}

TEST_F(UnitDir, InvalidUnitsAreRefused) {
  const char* const bad_arg[] = {"a\nb", nullptr};
  struct Case {
    OsServiceUnit unit;
    const char* why;
  } cases[] = {
      {{"", "d", "/bin/true", nullptr, nullptr}, "empty name"},
      {{"../evil", "d", "/bin/true", nullptr, nullptr}, "path in name"},
      {{"a b", "d", "/bin/true", nullptr, nullptr}, "blank in name"},
      {{"ok", "d", "bin/true", nullptr, nullptr}, "relative program"},
      {{"ok", "d\nExecStart=/bin/sh", "/bin/true", nullptr, nullptr}, "line end in description"},
      {{"ok", "d", "/bin/true", bad_arg, nullptr}, "line end in argument"},
  };
  for (const Case& c : cases) {
    char text[1024];
    errno = 0;
    EXPECT_EQ(osServiceUnitText(&c.unit, text, sizeof(text)), 0) << c.why;
    EXPECT_EQ(errno, EINVAL) << c.why;
    EXPECT_EQ(osInstallService(&c.unit), 0) << c.why;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(UnitDir, InstallWritesOnceAndRemoveDeletes) {
  OsServiceUnit unit = {"harrow-test", "Harrow Test", "/usr/bin/prog", kArgs, nullptr};
  char path[512];
  ASSERT_EQ(osServiceUnitPath("harrow-test", path, sizeof(path)), 1);
  EXPECT_EQ(std::string(path), dir_ + "/harrow-test.service");

  ASSERT_EQ(osInstallService(&unit), 1);
  char text[2048];
  ASSERT_EQ(osServiceUnitText(&unit, text, sizeof(text)), 1);
  EXPECT_EQ(Read("harrow-test.service"), text);
  struct stat st;
  ASSERT_EQ(stat(path, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  // A second install is refused and leaves the first file alone; no
  // temporary file stays behind.
  OsServiceUnit other = {"harrow-test", "Other", "/usr/bin/other", nullptr, nullptr};
  errno = 0;
  EXPECT_EQ(osInstallService(&other), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(Read("harrow-test.service"), text);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()), 1);

  ASSERT_EQ(osRemoveService("harrow-test"), 1);
  EXPECT_FALSE(std::filesystem::exists(path));
  errno = 0;
  EXPECT_EQ(osRemoveService("harrow-test"), 0);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(UnitDir, InstallIntoAMissingDirectoryFails) {
  setenv("HRLCOMPACT_UNIT_DIR", (dir_ + "/missing").c_str(), 1);
  OsServiceUnit unit = {"harrow-test", "d", "/usr/bin/prog", nullptr, nullptr};
  errno = 0;
  EXPECT_EQ(osInstallService(&unit), 0);
  EXPECT_EQ(errno, ENOENT);
}

TEST(OsServiceTest, DefaultUnitDirectory) {
  unsetenv("HRLCOMPACT_UNIT_DIR");
  char dir[256];
  ASSERT_EQ(osServiceUnitDir(dir, sizeof(dir)), 1);
  EXPECT_STREQ(dir, "/etc/systemd/system");
}

TEST(OsServiceTest, SystemErrorText) {
  char text[256];
  EXPECT_STREQ(osSystemErrorText(ENOENT, text, sizeof(text)), "No such file or directory (0x2)");
  EXPECT_STREQ(osSystemErrorText(EACCES, text, sizeof(text)), "Permission denied (0xd)");
  // Too long for the room with 14 bytes to spare: empty, never cut.
  char small[30];
  EXPECT_STREQ(osSystemErrorText(ENOENT, small, sizeof(small)), "");
}

TEST(OsEventLogTest, ReportsWithoutCrashing) {
  // syslog may or may not have a reader here; the call must not fail.
  osReportErrorEvent("HarrowTest", "event log test record");
  osReportInfoEvent("HarrowTest", "event log test record");
}

}  // namespace
