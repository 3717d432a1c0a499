// authcore: decisions from a rules file, and failing closed on every error.

#include "authcore/authcore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "install_dir_cases.h"
#include "rules.h"
#include "testsupport/testsupport.h"

namespace {

namespace fs = std::filesystem;

class AuthcoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("authcore_test");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    path_ = dir_ + "/authority.rules";
    rules_env_.emplace("HRLCOMPACT_AUTH_RULES", path_);
  }
  void TearDown() override {
    temp_.reset();
    rules_env_.reset();
  }
  // Writes through a new file and a rename, so the cache sees a new inode
  // even when two writes fall into one timestamp tick.
  void WriteRules(const std::string& text) {
    std::string tmp = path_ + ".tmp";
    std::ofstream(tmp, std::ios::binary) << text;
    fs::permissions(tmp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::others_read);
    fs::rename(tmp, path_);
  }
  int Authority(const char* user, const char* path, const char* cmd) {
    mqcAuthRequest r{};
    r.Outcome = 7;  // must be overwritten with the answer
    int result = mqc_authority(user, path, cmd, &r);
    EXPECT_EQ(result, r.Outcome);
    return result;
  }
  int Trust(const char* user, const char* peer, const char* host) {
    mqcAuthRequest r{};
    r.Outcome = 7;
    int result = mqc_trust(user, peer, host, &r);
    EXPECT_EQ(result, r.Outcome);
    return result;
  }
  std::optional<harrow::testsupport::TempDir> temp_;
  std::optional<harrow::testsupport::ScopedEnv> rules_env_;
  std::string dir_;
  std::string path_;
};

const char kRules[] =
    "# group G: operators may inquire, ADMIN may do anything\r\n"
    "default deny\n"
    "\n"
    "deny  GUEST  *            *\n"
    "allow ADMIN  *            *\n"
    "allow *      G\\N1\\*\\11  13\n"
    "allow OP?    G\\*          1000?\n"
    "trust    *     127.0.0.1  *\n"
    "distrust EVE   *          *\n"
    "trust    *     10.1.*     *.example\n";

struct Case {
  const char* user;
  const char* path;
  const char* command;
  int expected;
};

TEST_F(AuthcoreTest, FirstMatchingRuleDecidesElseDefault) {
  WriteRules(kRules);
  const Case cases[] = {
      {"ADMIN", "G\\N1\\QM1\\Q1\\11", "8", 1},
      {"admin", "G", "10105", 1},                 // users compare case-insensitively
      {"GUEST", "G\\N1\\QM1\\Q1\\11", "13", 0},   // deny listed before the allow
      {"BOB", "G\\N1\\QM1\\APP.Q\\11", "13", 1},  // inquire queue on node N1
      {"BOB", "G\\N2\\QM1\\APP.Q\\11", "13", 0},  // other node: default deny
      {"BOB", "G\\N1\\QM1\\APP.Q\\11", "8", 0},   // other command
      {"OP1", "G\\N1", "10001", 1},
      {"OP12", "G\\N1", "10001", 0},              // '?' is exactly one character
      {"OP1", "G\\N1", "10001::20001", 0},        // non-command text differs
      {"", "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " " + c.path + " " + c.command);
    EXPECT_EQ(Authority(c.user, c.path, c.command), c.expected);
  }
}

TEST_F(AuthcoreTest, TrustRulesAreSeparateFromCommandRules) {
  WriteRules(kRules);
  EXPECT_EQ(Trust("BOB", "127.0.0.1", "localhost"), 1);
  EXPECT_EQ(Trust("EVE", "127.0.0.1", "localhost"), 1);  // first match wins
  EXPECT_EQ(Trust("EVE", "10.1.2.3", "a.example"), 0);
  EXPECT_EQ(Trust("BOB", "10.1.2.3", "a.example"), 1);
  EXPECT_EQ(Trust("BOB", "10.1.2.3", "a.example.org"), 0);
  // ADMIN's "allow" rule does not make its connections trusted.
  EXPECT_EQ(Trust("ADMIN", "192.168.0.1", "h"), 0);
}

TEST_F(AuthcoreTest, DefaultAllowAppliesWhenNothingMatches) {
  WriteRules("default allow\ndeny GUEST * *\n");
  EXPECT_EQ(Authority("BOB", "G", "13"), 1);
  EXPECT_EQ(Authority("GUEST", "G", "13"), 0);
  EXPECT_EQ(Trust("BOB", "1.2.3.4", "h"), 1);
}

TEST_F(AuthcoreTest, EveryErrorFailsClosed) {
  const char* bad_files[] = {
      "default allow\nallow ADMIN *\n",           // too few masks
      "default allow\npermit ADMIN * *\n",        // unknown keyword
      "default allow\ndefault deny\n",            // two defaults
      "default maybe\n",                          // bad default
      "default allow\nallow A * * extra\n",       // too many fields
  };
  for (const char* text : bad_files) {
    SCOPED_TRACE(text);
    WriteRules(text);
    EXPECT_EQ(Authority("ADMIN", "G", "13"), 0);
    EXPECT_EQ(Trust("ADMIN", "127.0.0.1", "h"), 0);
  }
  fs::remove(path_);
  EXPECT_EQ(Authority("ADMIN", "G", "13"), 0);
  EXPECT_EQ(Trust("ADMIN", "127.0.0.1", "h"), 0);
  EXPECT_EQ(mqc_authority(nullptr, nullptr, nullptr, nullptr), 0);
}

// The reason the trace prints for a refusal of ADMIN.
std::string TracedReason() {
  mqcAuthRequest r{};
  r.Trace = 1;
  testing::internal::CaptureStdout();
  int result = mqc_authority("ADMIN", "G", "13", &r);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 0) << out;
  return out;
}

TEST_F(AuthcoreTest, UnusableFilesRefuseEverythingAndSayWhy) {
  struct BadFile {
    const char* what;
    std::string text;
    const char* reason;
  };
  const BadFile bad_files[] = {
      {"NUL byte", std::string("default allow\nallow ADMIN * *\0\n", 30), "NUL byte"},
      {"line over 4,096 bytes", "default allow\n# " + std::string(5000, 'x') + "\n",
       "line too long"},
  };
  for (const BadFile& f : bad_files) {
    SCOPED_TRACE(f.what);
    WriteRules(f.text);
    EXPECT_NE(TracedReason().find(f.reason), std::string::npos);
  }
  // Anyone may write it: whatever it says, nothing is allowed.
  WriteRules("default allow\n");
  ASSERT_EQ(Authority("ADMIN", "G", "13"), 1);
  fs::permissions(path_, fs::perms::others_write, fs::perm_options::add);
  EXPECT_NE(TracedReason().find("writable by others"), std::string::npos);
  EXPECT_EQ(Trust("ADMIN", "127.0.0.1", "h"), 0);
  // Not a file at all: refused with that reason, not read as empty rules.
  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_NE(TracedReason().find("not a regular file"), std::string::npos);
}

// Whoever may change the rules may grant himself every command: a file of
// another user, one its group may write, or a link (which could be turned
// to a file someone else controls) refuses everything, as a bad signing
// key does; put right, the same rules apply again.
TEST_F(AuthcoreTest, RulesFileOfAnotherUserWritableByItsGroupOrLinkedRefusesEverything) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    std::function<void()> mend;
    const char* reason;
  } cases[] = {
      {"owned by another user",
       [&] { ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0); },
       [&] { ASSERT_EQ(chown(path_.c_str(), geteuid(), getegid()), 0); }, "owned by user 65534"},
      {"writable by its group",
       [&] { fs::permissions(path_, fs::perms::group_write, fs::perm_options::add); },
       [&] { fs::permissions(path_, fs::perms::group_write, fs::perm_options::remove); },
       "writable by its group"},
      {"a symbolic link to good rules",
       [&] {
         fs::rename(path_, dir_ + "/real.rules");
         fs::create_symlink(dir_ + "/real.rules", path_);
       },
       [&] {
         fs::remove(path_);
         fs::rename(dir_ + "/real.rules", path_);
       },
       "symbolic link"},
  };
  mode_t old_umask = umask(022);
  WriteRules("default allow\ntrust * * *\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "owned by another user" && geteuid() != 0) {
      continue;  // giving a file to another user needs root
    }
    ASSERT_EQ(Authority("ADMIN", "G", "13"), 1);
    c.spoil();
    EXPECT_NE(TracedReason().find(c.reason), std::string::npos);
    EXPECT_EQ(Trust("ADMIN", "127.0.0.1", "h"), 0);
    c.mend();
    EXPECT_EQ(Authority("ADMIN", "G", "13"), 1);
  }
  umask(old_umask);
}

TEST_F(AuthcoreTest, ChangedFileIsReadAgain) {
  WriteRules("default deny\n");
  EXPECT_EQ(Authority("BOB", "G", "13"), 0);
  WriteRules("default allow\n");
  EXPECT_EQ(Authority("BOB", "G", "13"), 1);
  WriteRules("broken line here\n");
  EXPECT_EQ(Authority("BOB", "G", "13"), 0);
}

TEST_F(AuthcoreTest, TraceSwitchPrintsTheDecision) {
  WriteRules(kRules);
  mqcAuthRequest r{};
  r.Trace = 1;
  testing::internal::CaptureStdout();
  mqc_authority("BOB", "G\\N1\\QM1\\APP.Q\\11", "13", &r);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("mqc_authority(BOB, G\\N1\\QM1\\APP.Q\\11, 13) = yes (line 6)"),
            std::string::npos)
      << out;
}

struct MaskCase {
  const char* mask;
  const char* text;
  bool match;
};

TEST(MaskMatches, StarQuestionAndCase) {
  const MaskCase cases[] = {
      {"*", "", true},          {"*", "anything", true},  {"", "", true},
      {"", "a", false},         {"a*", "abc", true},      {"a*c", "abc", true},
      {"a*c", "abcd", false},   {"*c", "abcc", true},     {"?", "", false},
      {"a?c", "aXc", true},     {"ABC", "abc", true},     {"a**b", "ab", true},
      {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " ~ " + c.text);
    EXPECT_EQ(authcore::MaskMatches(c.mask, c.text), c.match);
  }
}

// The rules file is found under the install directory in the suite's order
// when no variable names it.
TEST(AuthcoreRulesPathTest, RulesLieUnderTheInstallDirectoryInTheSuiteOrder) {
  const char* named = getenv(MQC_AUTH_RULES_VARIABLE);
  std::string saved = named != nullptr ? named : "";
  unsetenv(MQC_AUTH_RULES_VARIABLE);
  const std::string suffix = "security/authority.rules";
  os_test::ExpectInstallDirOrder([&] {
    std::string path = authcore::RulesPath();
    EXPECT_EQ(path.size() > suffix.size() ? path.substr(path.size() - suffix.size()) : "", suffix);
    return os_test::ResolvedInstallDir{path.substr(0, path.size() - suffix.size()), std::nullopt};
  });
  if (named != nullptr) setenv(MQC_AUTH_RULES_VARIABLE, saved.c_str(), 1);
}

}  // namespace
