// The harness itself: servers that start, refuse to start, hang, ignore
// SIGTERM or die mid-test all end with nothing left behind.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "testsupport/testsupport.h"

namespace harrow::testsupport {
namespace {

using std::chrono::milliseconds;

ServerOptions Shell(const std::string& script) {
  ServerOptions o;
  o.program = "/bin/sh";
  o.args = {"-c", script};
  o.ready_text = "ready";
  o.start_timeout = milliseconds(5000);
  o.stop_timeout = milliseconds(300);
  return o;
}

bool GroupGone(pid_t pgid) { return kill(-pgid, 0) != 0 && errno == ESRCH; }

TEST(ServerProcess, StartsWaitsForReadyAndStopsWithTerm) {
  ServerProcess p;
  std::string error;
  ASSERT_TRUE(p.Start(Shell("echo starting; sleep 0.1; echo ready; exec sleep 60"), &error)) << error;
  EXPECT_TRUE(p.Running());
  EXPECT_NE(p.Output().find("starting\nready\n"), std::string::npos);
  pid_t pid = p.pid();
  EXPECT_EQ(p.Stop(), 128 + SIGTERM);
  EXPECT_FALSE(p.Running());
  EXPECT_TRUE(GroupGone(pid));
}

TEST(ServerProcess, ProgramIgnoringTermIsEndedWithItsChildren) {
  ServerProcess p;
  std::string error;
  // The shell ignores TERM and keeps a child of its own running.
  ASSERT_TRUE(p.Start(Shell("trap '' TERM; sleep 60 & echo ready; while :; do sleep 0.05; done"), &error))
      << error;
  pid_t pid = p.pid();
  int status = p.Stop();
  EXPECT_EQ(status, 128 + SIGABRT);
  EXPECT_TRUE(WaitFor([&] { return GroupGone(pid); }, milliseconds(2000)));
}

TEST(ServerProcess, StartReportsEarlyExitAndTimeout) {
  struct Case {
    const char* script;
    const char* expected_in_error;
  } cases[] = {
      {"echo cannot start; exit 3", "exited with status 3"},
      {"echo silent; exec sleep 60", "no \"ready\" within"},
  };
  for (const auto& c : cases) {
    ServerProcess p;
    ServerOptions o = Shell(c.script);
    o.start_timeout = milliseconds(300);
    std::string error;
    EXPECT_FALSE(p.Start(o, &error)) << c.script;
    EXPECT_NE(error.find(c.expected_in_error), std::string::npos) << error;
    EXPECT_FALSE(p.Running());
  }
}

TEST(ServerProcess, KilledMidTestLeavesNoProcessAndNoDirectory) {
  std::string log;
  pid_t pid = -1;
  {
    ServerProcess p;
    ASSERT_TRUE(p.Start(Shell("echo ready; exec sleep 60")));
    pid = p.pid();
    log = p.log_path();
    EXPECT_EQ(p.Kill(), 128 + SIGKILL);
  }
  EXPECT_TRUE(GroupGone(pid));
  struct stat st;
  EXPECT_NE(stat(log.c_str(), &st), 0) << log << " left behind";
  {
    ServerProcess p;
    ASSERT_TRUE(p.Start(Shell("echo ready; exec sleep 60")));
    pid = p.pid();
  }  // destroyed while running
  EXPECT_TRUE(GroupGone(pid));
}

TEST(ServerProcess, EnvironmentIsSetAndUnset) {
  ScopedEnv drop("HARROW_HARNESS_DROP", "present");
  ServerProcess p;
  ServerOptions o = Shell("echo \"ready A=$HARROW_HARNESS_A DROP=${HARROW_HARNESS_DROP-none}\"; exit 0");
  o.env = {{"HARROW_HARNESS_A", "one two"}, {"HARROW_HARNESS_DROP", "\x01unset"}};
  ASSERT_TRUE(p.Start(o));
  int status = -1;
  ASSERT_TRUE(p.WaitExit(milliseconds(5000), &status));
  EXPECT_EQ(status, 0);
  EXPECT_NE(p.Output().find("ready A=one two DROP=none"), std::string::npos) << p.Output();
}

TEST(ServerProcess, WaitForOutputLooksOnlyPastTheGivenOffset) {
  ServerProcess p;
  ASSERT_TRUE(p.Start(Shell("echo ready; read x; exec sleep 60")));
  size_t mark = p.Output().size();
  EXPECT_FALSE(p.WaitForOutput("ready", milliseconds(50), mark));
  EXPECT_TRUE(p.WaitForOutput("ready", milliseconds(50), 0));
}

void RunServerWithSanitizerReport() {
  ServerProcess p;
  ServerOptions o = Shell("echo ready; echo 'x.cpp:1:2: runtime error: signed integer overflow'; exit 0");
  ASSERT_TRUE(p.Start(o));
  p.WaitExit(milliseconds(5000));
}

TEST(ServerProcess, SanitizerReportInOutputFailsTheTest) {
  EXPECT_NONFATAL_FAILURE(RunServerWithSanitizerReport(), "sanitizer error");
}

// A restart that appends to the same log must wait for its own ready text,
// not find the one the previous run left there.
TEST(ServerProcess, ReadyTextOfAnEarlierRunInTheSameLogDoesNotCount) {
  TempDir dir("restart-log");
  ServerOptions first = Shell("echo ready; exec sleep 60");
  first.log_path = dir.Sub("server.log");
  ServerProcess p;
  std::string error;
  ASSERT_TRUE(p.Start(first, &error)) << error;
  p.Stop();
  ServerOptions second = Shell("sleep 0.3; echo second; echo ready; exec sleep 60");
  second.log_path = dir.Sub("server.log");
  ASSERT_TRUE(p.Start(second, &error)) << error;
  EXPECT_NE(p.Output().find("second\nready"), std::string::npos);
  p.Stop();
}

TEST(RunToExit, ReturnsTheStatusOrKillsAProgramThatOutstaysItsLimit) {
  ServerOptions quick = Shell("exit 7");
  EXPECT_EQ(RunToExit(quick, milliseconds(5000)), 7);
  TempDir dir("run-to-exit");
  ServerOptions hanging = Shell("echo $$ > " + dir.Sub("pid") + "; exec sleep 60");
  std::string error;
  EXPECT_EQ(RunToExit(hanging, milliseconds(300), &error), -1);
  EXPECT_NE(error.find("did not end"), std::string::npos) << error;
  pid_t pid = std::stoi(ReadWholeFile(dir.Sub("pid")));
  EXPECT_TRUE(WaitFor([&] { return GroupGone(pid); }, milliseconds(2000)));
}

TEST(TempDir, IsPrivateAndRemovedWithContentsButNotThroughLinks) {
  TempDir outside("harness-outside");
  std::ofstream(outside.Sub("keep")) << "x";
  std::string path;
  {
    TempDir d("harness");
    path = d.path();
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(mkdir(d.Sub("a").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(d.Sub("a/b").c_str(), 0700), 0);
    std::ofstream(d.Sub("a/b/file")) << "data";
    ASSERT_EQ(symlink(outside.path().c_str(), d.Sub("link").c_str()), 0);
    ASSERT_EQ(chmod(d.Sub("a").c_str(), 0500), 0);  // a test that left a read-only directory
  }
  struct stat st;
  EXPECT_NE(stat(path.c_str(), &st), 0);
  EXPECT_EQ(stat(outside.Sub("keep").c_str(), &st), 0) << "removal followed a link";
}

TEST(Ports, FreeLoopbackPortIsFreeForTcpAndUdp) {
  int port = FreeLoopbackPort(true);
  ASSERT_GT(port, 0);
  ASSERT_LT(port, 65536);
}

TEST(Seed, IsStableWithinAProcess) { EXPECT_EQ(TestSeed(), TestSeed()); }

}  // namespace
}  // namespace harrow::testsupport
