// The group server run as a user runs it: made with grpcreate in a
// temporary install directory, started with "grpserver -console", stopped
// with a signal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include <groupdb/groupdb.h>

#include "support/group_fixture.h"

namespace grptest {
namespace {

namespace ts = harrow::testsupport;
using std::chrono::seconds;

std::string Dump(const std::string& group, const std::string& alias, const std::string& flags_block,
                 const std::string& install) {
  return "Group Manager version 3.6.[0012]\n\nGroup Manager start-up parameters:\n\n\tGROUP(\"" + group +
         "\")\n\tALIAS(\"" + alias + "\")\n" + flags_block + "\tHARROWLINE_INSTALL(" + install + ")\n\n";
}

TEST(GrpserverProgram, WithoutAGroupPrintsBannerDumpAndUsageAndExits1) {
  Installation inst;
  RunResult r = RunProgram("grpserver", {"-console"}, inst.BaseEnv());
  EXPECT_EQ(r.exit_code, 1);
  const std::string flags =
      "\tMIGRATION(OFF), SOURCE(\"\")\n\tPROTOCOL_TRACE(OFF)\n\tCOMMUNICATION_TRACE(OFF)\n"
      "\tAUTHORIZATION_TRACE(OFF)\n\tCOMMUNICATION_BUFFER(0) - (SYSTEM_DEFAULT) (BYTES))\n\tAUTHORIZATION(OFF)\n"
      "\tAUTHENTICATION(OFF)\n\tLOG_FILE_NAME(CONSOLE)\n\tKEEPALIVE(OFF)\n\tREUSEADDR(OFF)\n"
      "\tREFRESH_INTERVAL(10)\n";
  const std::string expected = "CONSOLE MODE: \"Harrowline Compact Server\".\n" +
                               Dump("", "HARROWLINE.COMPACT.SERVER", flags, inst.install_dir()) + "Usage: " +
                               ts::ProgramPath("grpserver") +
                               " -console -m<GroupName> [-t[u|c] +|-u +|-a -k -b -r<refresh> -i<BuffSize>]\n"
                               "\t-m<GroupName> -- logical name of the Group to be\n"
                               "\t\tloaded by the Harrowline Group Manager.\n";
  EXPECT_EQ(r.output.substr(0, expected.size()), expected);
  EXPECT_NE(r.output.find("\t-i<BuffSize> -- set send/recv TCP buffer size in KB.\n"), std::string::npos);

  // "-?" asks for the usage alone.
  RunResult help = RunProgram("grpserver", {"-console", "-mG1", "-?"}, inst.BaseEnv());
  EXPECT_EQ(help.exit_code, 1);
  EXPECT_EQ(help.output.find("start-up parameters"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("Usage: "), std::string::npos);
}

// A mistyped option must not become a group: "-v" or "-p" would otherwise
// make a group of that name, which grpserver then has to be told to load.
TEST(GrpcreateProgram, ASingleDashWordIsAnUnknownOptionAndMakesNoGroup) {
  Installation inst;
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"-v"}, "grpcreate: unknown option -v\n"},
      {{"DEMO", "-p", "4005"}, "grpcreate: unknown option -p\n"},
      {{"-"}, "grpcreate: unknown option -\n"},
      {{"--port=4006", "-x"}, "grpcreate: unknown option -x\n"},
      {{"DEMO", "--port=0"}, "grpcreate: --port needs a number from 1 to 65535\n"},
      {{"DEMO", "--port=x"}, "grpcreate: --port needs a number from 1 to 65535\n"},
  };
  for (const auto& c : cases) {
    RunResult r = RunProgram("grpcreate", c.args, inst.BaseEnv());
    EXPECT_EQ(r.exit_code, 2) << r.output;
    EXPECT_EQ(r.output.substr(0, c.error.size()), c.error);
    EXPECT_NE(r.output.find("Usage: "), std::string::npos) << r.output;
  }
  struct stat st;
  for (const char* name : {"-v", "-", "-x", "DEMO"}) {
    EXPECT_NE(stat(inst.GroupDir(name).c_str(), &st), 0) << name;
  }

  // "-?" asks for the usage, like -h and --help; a name may hold a '-'.
  RunResult help = RunProgram("grpcreate", {"-?"}, inst.BaseEnv());
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.output.rfind("Usage: ", 0), 0u) << help.output;
  RunResult made = RunProgram("grpcreate", {"EAST-1", "--port=4010"}, inst.BaseEnv());
  EXPECT_EQ(made.exit_code, 0) << made.output;
  EXPECT_EQ(stat(inst.GroupDir("EAST-1").c_str(), &st), 0);
}

TEST(GrpserverProgram, OptionsFromTheVariableAndTheCommandLineGiveTheDumpLines) {
  Installation inst;
  Env env = inst.BaseEnv();
  env.back() = {"HRLCOMPACT_SVR_OPTIONS", "-nFROM.VARIABLE;+u,-tc -i64 -k -xOLDGROUP,-r0"};
  // The command line wins: the alias, -u, and -i-5 (ignored: the variable's
  // 64 KB stay); +U is not an option (case counts).
  RunResult r = RunProgram("grpserver", {"-console", "-mNOSUCH", "-nFROM.LINE", "-u", "+a", "-i-5", "+U", "-e"}, env);
  const std::string flags =
      "\tMIGRATION(ON), SOURCE(\"OLDGROUP\")\n\tPROTOCOL_TRACE(OFF)\n\tCOMMUNICATION_TRACE(ON)\n"
      "\tAUTHORIZATION_TRACE(OFF)\n\tCOMMUNICATION_BUFFER(65536) - (USER) (BYTES))\n\tAUTHORIZATION(OFF)\n"
      "\tAUTHENTICATION(ON)\n\tLOG_FILE_NAME(CONSOLE)\n\tKEEPALIVE(ON)\n\tREUSEADDR(ON)\n"
      "\tREFRESH_INTERVAL(9999999)\n";
  EXPECT_NE(r.output.find(Dump("NOSUCH", "FROM.LINE", flags, inst.install_dir())), std::string::npos) << r.output;
}

TEST(GrpserverProgram, AMissingGroupGivesTheIgeMessagesAndExits1) {
  Installation inst;
  CreateGroup(inst, "OTHER", ts::FreeLoopbackPort(true));
  RunResult r = RunProgram("grpserver", {"-console", "-mNOSUCH"}, inst.BaseEnv());
  EXPECT_EQ(r.exit_code, 1);
  for (const char* line : {"IGE0001: Unable to open Harrowline Group(\"NOSUCH\") RC(2085).\n",
                           "IGE0003: Group \"NOSUCH\" does not exist.\n",
                           "IGE0014: Initialization failed: unable to proceed.\n"}) {
    EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
  }
  EXPECT_EQ(r.output.find("IGE0019"), std::string::npos);
}

TEST(GrpserverProgram, ASecondInstanceOnAGroupInUseFailsWhileTheFirstServes) {
  Installation inst;
  const int port = ts::FreeLoopbackPort(true);
  CreateGroup(inst, "G1", port);
  ts::ServerProcess first;
  ASSERT_TRUE(StartServer(&first, inst, "G1"));

  RunResult second = RunProgram("grpserver", {"-console", "-mG1"}, inst.BaseEnv());
  EXPECT_NE(second.exit_code, 0);
  EXPECT_NE(second.output.find("IGE0004: Group \"G1\" is in use by another application!\n"), std::string::npos)
      << second.output;

  EXPECT_TRUE(first.Running());
  TestConsole console(port);
  ASSERT_TRUE(console.connected());
  PcfPtr open = MakeCommand(EXCMD_OPEN_EVENT, "OPEN-1");
  AddInteger(open.get(), 20139, 0x7f);
  ASSERT_TRUE(console.Send(open.get()));
  PcfPtr reply = console.Receive();
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->Cfh->CompCode, MQCC_OK);
  EXPECT_EQ(first.Stop(), 0);
}

// Every data and index file of the group, byte for byte in backup/.
void ExpectBackupIdentical(const std::string& group_dir) {
  int compared = 0;
  for (int t = 0; t < DBT_COUNT; ++t) {
    std::string name = DbTableName(t);
    std::vector<std::string> files = {name + ".dat"};
    for (int n = 1; n <= 9; ++n) {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, ".x%02d", n);
      if (access((group_dir + "/" + name + suffix).c_str(), F_OK) == 0) files.push_back(name + suffix);
    }
    for (const std::string& f : files) {
      std::string live = FileBytes(group_dir + "/" + f);
      ASSERT_FALSE(live.empty()) << f;
      EXPECT_EQ(live, FileBytes(group_dir + "/backup/" + f)) << f;
      ++compared;
    }
  }
  EXPECT_GE(compared, 44);
}

TEST(GrpserverProgram, SigintEndsWithTheClosingMessagesAnIdenticalBackupAndExit0) {
  Installation inst;
  CreateGroup(inst, "G2", ts::FreeLoopbackPort(true));
  ts::ServerProcess server;
  ASSERT_TRUE(StartServer(&server, inst, "G2"));
  ASSERT_TRUE(server.Signal(SIGINT));
  int status = -1;
  ASSERT_TRUE(server.WaitExit(seconds(20), &status));
  EXPECT_EQ(status, 0);
  const std::string out = server.Output();
  size_t at = 0;
  for (const char* line : {"IGE0022: Group(\"G2\") is terminating due to signal(2)!\n",
                           "IGE0040: Creating backup database for GROUP(\"G2\") ...\n",
                           "IGE0035: Completed database backup for GROUP(\"G2\"): RC(0)\n",
                           "IGE0025: Group(\"G2\") terminated successfully!\n"}) {
    size_t found = out.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << out;
    at = found;
  }
  ExpectBackupIdentical(inst.GroupDir("G2"));
}

TEST(GrpserverProgram, SigtermStopsItTooAndTheGroupRecordIsStamped) {
  Installation inst;
  CreateGroup(inst, "G3", ts::FreeLoopbackPort(true));
  ts::ServerProcess server;
  ASSERT_TRUE(StartServer(&server, inst, "G3"));
  const pid_t pid = server.pid();
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Output().find("IGE0022: Group(\"G3\") is terminating due to signal(15)!\n"), std::string::npos);

  inst.ExportToThisProcess();
  DbSetInstallDir(inst.install_dir().c_str());
  int out = 0;
  ASSERT_EQ(DbOpen("G3", &out), 1) << out;
  GroupDbRecord r{};
  r.Table = DBT_MANAGERS;
  DbClearRecord(&r);
  DbSetField(&r, DBF_MANAGER_NAME, "G3");
  ASSERT_EQ(DbReadRecord(&r, GDB_READ_KEY, &out), 1) << out;
  long long value = 0;
  ASSERT_EQ(DbGetFieldNumber(&r, DBF_MANAGER_PROCESS_ID, &value), 1);
  EXPECT_EQ(value, pid);
  ASSERT_EQ(DbGetFieldNumber(&r, DBF_MANAGER_STATE, &value), 1);
  EXPECT_EQ(value, 4);
  char version[16];
  DbGetField(&r, DBF_MANAGER_VERSION, version, sizeof version);
  EXPECT_STREQ(version, "3.6.0012");
  DbCloseLocked();
}

GroupDbRecord NodeRecord(const char* group, const std::string& node) {
  GroupDbRecord r{};
  r.Table = DBT_MQNODES;
  DbClearRecord(&r);
  DbSetField(&r, DBF_MANAGER_NAME, group);
  DbSetField(&r, DBF_MQNODE_NAME, node.c_str());
  return r;
}

TEST(GrpserverProgram, ADamagedIndexAtStartIsRepairedAndTheRecordsStayIntact) {
  Installation inst;
  const int port = ts::FreeLoopbackPort(true);
  CreateGroup(inst, "G4", port);
  inst.ExportToThisProcess();
  DbSetInstallDir(inst.install_dir().c_str());
  int out = 0;
  ASSERT_EQ(DbOpen("G4", &out), 1) << out;
  const std::vector<std::string> nodes = {"NODE.A", "NODE.B", "NODE.C"};
  for (const std::string& n : nodes) {
    GroupDbRecord r = NodeRecord("G4", n);
    DbSetField(&r, DBF_MQNODE_PORT_NO, "5000");
    ASSERT_EQ(DbWriteRecord(&r, GDB_WRITE_ADD, &out), 1) << out;
  }
  ASSERT_EQ(DbCloseLocked(), 1);
  // The index's root page now points past the end of its file.
  {
    std::fstream f(inst.GroupDir("G4") + "/MQNODES.x01", std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f.good());
    const uint32_t bad_root = 0x7fffffff;
    f.write(reinterpret_cast<const char*>(&bad_root), 4);
  }
  ts::ServerProcess server;
  ASSERT_TRUE(StartServer(&server, inst, "G4"));
  const std::string started = server.Output();
  EXPECT_NE(started.find("IGE0001: Unable to open Harrowline Group(\"G4\") RC(2101).\n"), std::string::npos)
      << started;
  EXPECT_NE(started.find("IGE0005: Group database is corrupted.\nAttempting to repair ....\n"), std::string::npos);
  EXPECT_NE(started.find("Group database has been repaired ok!\n"), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);

  ASSERT_EQ(DbOpen("G4", &out), 1) << out;
  for (const std::string& n : nodes) {
    GroupDbRecord r = NodeRecord("G4", n);
    ASSERT_EQ(DbReadRecord(&r, GDB_READ_KEY, &out), 1) << n << " " << out;
    char port_text[10];
    DbGetField(&r, DBF_MQNODE_PORT_NO, port_text, sizeof port_text);
    EXPECT_STREQ(port_text, "5000");
  }
  DbCloseLocked();
}

TEST(GrpserverProgram, TheInfoFileIsImportedOnceAndArchived) {
  Installation inst;
  CreateGroup(inst, "G5", ts::FreeLoopbackPort(true));
  const std::string config = inst.install_dir() + "/config";
  mkdir(config.c_str(), 0700);
  mkdir((config + "/groups").c_str(), 0700);
  const std::string info = config + "/groups/G5.info";
  {
    std::ofstream f(info);
    f << "G5::TraceMode=1\nNodeName=N1\nUseDNS=0\nIPAddress=127.0.0.1\nIPPort=5000\nPlatform=UNIX\n"
         "Discovery=0\nCmdLimit=50\nTimeout=30\nHBInterval=1\nUpdate=60\n";
  }
  ts::ServerProcess server;
  ASSERT_TRUE(StartServer(&server, inst, "G5"));
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(access(info.c_str(), F_OK), 0) << "the info file is moved away after its import";
  bool archived = false;
  for (int day = 0; day <= 365 && !archived; ++day) {
    archived = access((inst.GroupDir("G5") + "/history/G5." + std::to_string(day)).c_str(), F_OK) == 0;
  }
  EXPECT_TRUE(archived);

  inst.ExportToThisProcess();
  DbSetInstallDir(inst.install_dir().c_str());
  int out = 0;
  ASSERT_EQ(DbOpen("G5", &out), 1) << out;
  GroupDbRecord node = NodeRecord("G5", "N1");
  ASSERT_EQ(DbReadRecord(&node, GDB_READ_KEY, &out), 1) << out;
  char text[64];
  DbGetField(&node, DBF_MQNODE_NET_ADDRESS, text, sizeof text);
  EXPECT_STREQ(text, "127.0.0.1");
  DbGetField(&node, DBF_MQNODE_PORT_NO, text, sizeof text);
  EXPECT_STREQ(text, "5000");
  DbGetField(&node, DBF_MQNODE_PLATFORM, text, sizeof text);
  EXPECT_STREQ(text, "3");
  DbGetField(&node, DBF_MQNODE_CMD_LIMIT, text, sizeof text);
  EXPECT_STREQ(text, "50");
  GroupDbRecord group{};
  group.Table = DBT_MANAGERS;
  DbClearRecord(&group);
  DbSetField(&group, DBF_MANAGER_NAME, "G5");
  ASSERT_EQ(DbReadRecord(&group, GDB_READ_KEY, &out), 1) << out;
  DbGetField(&group, DBF_MANAGER_TRACE_MODE, text, sizeof text);
  EXPECT_STREQ(text, "1");
  DbCloseLocked();
}

}  // namespace
}  // namespace grptest
