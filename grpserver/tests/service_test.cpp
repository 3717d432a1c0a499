// -install and -remove on a temporary unit directory.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/group_fixture.h"

namespace grptest {
namespace {

TEST(GrpserverService, InstallWritesTheUnitAndRemoveDeletesIt) {
  Installation inst;
  harrow::testsupport::TempDir units("units");
  Env env = inst.BaseEnv();
  env.emplace_back("HRLCOMPACT_UNIT_DIR", units.path());
  const std::string unit = units.path() + "/HRLCompactServer.service";

  RunResult install = RunProgram("grpserver", {"-install", "DEMO", "+a"}, env);
  EXPECT_EQ(install.exit_code, 0) << install.output;
  EXPECT_EQ(install.output, "Harrowline Compact Server installed.\n");
  const std::string text = FileBytes(unit);
  EXPECT_NE(text.find("Description=Harrowline Compact Server"), std::string::npos) << text;
  // The bare group name becomes -m, options pass through.
  EXPECT_NE(text.find(harrow::testsupport::ProgramPath("grpserver")), std::string::npos) << text;
  EXPECT_NE(text.find("-mDEMO"), std::string::npos) << text;
  EXPECT_NE(text.find("+a"), std::string::npos) << text;
  EXPECT_NE(text.find("HRLCOMPACT=" ), std::string::npos) << text;

  RunResult again = RunProgram("grpserver", {"-install"}, env);
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_EQ(again.output.rfind("CreateService failed - ", 0), 0u) << again.output;

  RunResult remove = RunProgram("grpserver", {"-REMOVE"}, env);
  EXPECT_EQ(remove.exit_code, 0);
  EXPECT_EQ(remove.output, "Harrowline Compact Server removed.\n");
  struct stat st;
  EXPECT_NE(stat(unit.c_str(), &st), 0);

  RunResult none = RunProgram("grpserver", {"-remove"}, env);
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.output.rfind("OpenService failed - ", 0), 0u) << none.output;
}

TEST(GrpserverService, ServiceFormWritesItsOutputToTheGroupLog) {
  Installation inst;
  const int port = harrow::testsupport::FreeLoopbackPort(true);
  CreateGroup(inst, "SVC", port);
  harrow::testsupport::ServerProcess server;
  harrow::testsupport::ServerOptions o;
  o.program = harrow::testsupport::ProgramPath("grpserver");
  o.args = {"-mSVC"};
  o.env = inst.BaseEnv();
  ASSERT_TRUE(server.Start(o));
  const std::string log = inst.GroupDir("SVC") + "/SVC.log";
  ASSERT_TRUE(harrow::testsupport::WaitFor(
      [&] { return FileBytes(log).find("IGE0019: Group Manager(\"SVC\") is ready!") != std::string::npos; },
      std::chrono::seconds(20)))
      << FileBytes(log) << server.Output();
  EXPECT_NE(server.Output().find("StartServiceCtrlDispatcher being called."), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);
  const std::string text = FileBytes(log);
  EXPECT_NE(text.find("\tLOG_FILE_NAME(" + log + ")\n"), std::string::npos) << text;
  EXPECT_NE(text.find("IGE0025: Group(\"SVC\") terminated successfully!"), std::string::npos) << text;
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace grptest
