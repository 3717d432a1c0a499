// Fault points: rules by hit number, the hook, rules from text, and a
// crash rule ending a process.

#include "os/fault_injection.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class OsFaultInjectionTest : public ::testing::Test {
 protected:
  void TearDown() override { os::DisarmFaults(); }
};

TEST_F(OsFaultInjectionTest, UnarmedPointsNeverFail) {
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(os::FaultPointFails("anything"));
}

TEST_F(OsFaultInjectionTest, RuleFailsOnlyItsHitOfItsPoint) {
  os::ArmFault("write", 3, os::FaultAction::kFail);
  std::vector<bool> got;
  for (int i = 0; i < 5; ++i) {
    got.push_back(os::FaultPointFails("write"));
    EXPECT_FALSE(os::FaultPointFails("read"));
  }
  EXPECT_EQ(got, (std::vector<bool>{false, false, true, false, false}));
}

TEST_F(OsFaultInjectionTest, HitZeroFailsEveryHitUntilDisarmed) {
  os::ArmFault("fsync", 0, os::FaultAction::kFail);
  EXPECT_TRUE(os::FaultPointFails("fsync"));
  EXPECT_TRUE(os::FaultPointFails("fsync"));
  os::DisarmFaults();
  EXPECT_FALSE(os::FaultPointFails("fsync"));
}

TEST_F(OsFaultInjectionTest, HookSeesPointAndSubject) {
  std::vector<std::string> seen;
  os::SetFaultHook([&](std::string_view point, std::string_view subject) {
    seen.push_back(std::string(point) + "@" + std::string(subject));
    return subject == "/data/b" ? os::FaultAction::kFail : os::FaultAction::kNone;
  });
  EXPECT_FALSE(os::FaultPointFails("open", "/data/a"));
  EXPECT_TRUE(os::FaultPointFails("open", "/data/b"));
  EXPECT_EQ(seen, (std::vector<std::string>{"open@/data/a", "open@/data/b"}));
  os::SetFaultHook(nullptr);
  EXPECT_FALSE(os::FaultPointFails("open", "/data/b"));
}

TEST_F(OsFaultInjectionTest, RulesFromText) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"", true},
      {"write:2:fail", true},
      {"write:2:fail,sync:0:crash", true},
      {"write:2", false},
      {"write:x:fail", false},
      {":1:fail", false},
      {"write:1:explode", false},
      {"write:-1:fail", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_EQ(os::ArmFaultsFromText(c.text, &error), c.ok);
    EXPECT_EQ(error.empty(), c.ok) << error;
    os::DisarmFaults();
  }
  std::string error;
  ASSERT_TRUE(os::ArmFaultsFromText("write:2:fail", &error));
  EXPECT_FALSE(os::FaultPointFails("write"));
  EXPECT_TRUE(os::FaultPointFails("write"));
}

// A crash rule ends the process at once, with the documented status, and
// nothing after the point runs.
TEST_F(OsFaultInjectionTest, CrashRuleEndsTheProcessAtItsHit) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(out[0]);
    std::string error;
    if (!os::ArmFaultsFromText("step:2:crash", &error)) _exit(2);
    for (char c : std::string("abc")) {
      os::HitFaultPoint("step");
      if (write(out[1], &c, 1) != 1) _exit(3);
    }
    _exit(0);
  }
  close(out[1]);
  std::string written;
  char c;
  while (read(out[0], &c, 1) == 1) written += c;
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), os::kFaultCrashExitCode);
  EXPECT_EQ(written, "a");
}

}  // namespace
