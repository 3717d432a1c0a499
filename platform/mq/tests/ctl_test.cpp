// mqsimctl: the registry keys of the installation, read back through the
// registry stand-in, and the refusal to delete a running queue manager.
#include <os/registry.h>
#include <sys/stat.h>

#include <filesystem>

#include "mqsim_fixture.h"

using namespace mqsim_test;

namespace {

std::string ReadString(const std::string& key, const char* value) {
  HKEY k = nullptr;
  if (osRegOpenKey(HKEY_LOCAL_MACHINE, key.c_str(), &k) != OS_REG_SUCCESS) return "<no key>";
  char buf[512];
  uint32_t size = sizeof buf;
  long rc = osRegQueryString(k, value, buf, &size);
  osRegCloseKey(k);
  return rc == OS_REG_SUCCESS ? std::string(buf) : "<no value>";
}

}  // namespace

TEST_F(MqsimTest, RegistryKeysDescribeTheInstallation) {
  ASSERT_EQ(Ctl("create QM.DOT -p 0"), 0);
  setenv("HRLCOMPACT_REGISTRY", (root_ + "/registry").c_str(), 1);
  ASSERT_EQ(Ctl("registry"), 0);
  const std::string base = "SOFTWARE\\IBM\\MQSeries\\CurrentVersion";
  EXPECT_EQ(ReadString(base, "FilePath"), root_);
  HKEY k = nullptr;
  ASSERT_EQ(osRegOpenKey(HKEY_LOCAL_MACHINE, base.c_str(), &k), OS_REG_SUCCESS);
  uint32_t version = 0, release = 0;
  EXPECT_EQ(osRegQueryInt(k, "MQServerVersion", &version), OS_REG_SUCCESS);
  EXPECT_EQ(osRegQueryInt(k, "MQServerRelease", &release), OS_REG_SUCCESS);
  osRegCloseKey(k);
  EXPECT_GE(version, 5u);
  EXPECT_GT(release, 0u);
  EXPECT_EQ(ReadString(base + "\\Configuration\\AllQueueManagers", "DefaultPrefix"), root_);
  EXPECT_EQ(ReadString(base + "\\Configuration\\QueueManager\\QM!DOT", "Directory"), "QM!DOT");
  EXPECT_EQ(ReadString(base + "\\Configuration\\QueueManager\\QM!DOT", "Prefix"), root_);
  EXPECT_EQ(ReadString(base + "\\Configuration\\QueueManager\\QM!DOT\\Log", "LogType"), "CIRCULAR");
  EXPECT_EQ(ReadString(base + "\\Configuration\\QueueManager\\QM1\\Log", "LogPath"), root_ + "/log/QM1/");
  EXPECT_EQ(ReadString(base + "\\Configuration\\LogDefaults", "LogPrimaryFiles"), "3");
  unsetenv("HRLCOMPACT_REGISTRY");
}

// The suite's client-connection keys point at each running queue manager's
// listener; one that never ran (port 0 until then) gets no key.
TEST_F(MqsimTest, ClientKeysNameEachRunningQueueManagersListener) {
  ASSERT_EQ(Ctl("create QM.NEW -p 0"), 0);
  setenv("HRLCOMPACT_REGISTRY", (root_ + "/registry").c_str(), 1);
  ASSERT_EQ(Ctl("clients"), 0);
  const std::string base = "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\";
  EXPECT_EQ(ReadString(base + "QM1", "Channel Name"), "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(ReadString(base + "QM1", "Connection Name"), "127.0.0.1(" + std::to_string(port1_) + ")");
  EXPECT_EQ(ReadString(base + "QM2", "Connection Name"), "127.0.0.1(" + std::to_string(port2_) + ")");
  EXPECT_EQ(ReadString(base + "QM!NEW", "Connection Name"), "<no key>");
  unsetenv("HRLCOMPACT_REGISTRY");
}

TEST_F(MqsimTest, DeleteRefusesARunningQueueManager) {
  EXPECT_NE(Ctl("delete QM1"), 0);
  ASSERT_EQ(Ctl("stop QM1 -i"), 0);
  EXPECT_EQ(Ctl("delete QM1"), 0);
  std::string mqs;
  ASSERT_TRUE(mqsim::ReadFile(root_ + "/mqs.ini", &mqs));
  EXPECT_EQ(mqs.find("Name=QM1"), std::string::npos);
  EXPECT_NE(mqs.find("Name=QM2"), std::string::npos);
  EXPECT_NE(access((root_ + "/qmgrs/QM2/qm.ini").c_str(), F_OK), -1);
  EXPECT_EQ(access((root_ + "/qmgrs/QM1").c_str(), F_OK), -1);
}

// Mistyped command lines end with a one-line reason and a non-zero code;
// nothing is done and the running queue managers stay as they were.
TEST_F(MqsimTest, CommandLineMistakesAreRefusedWithTheirReason) {
  const struct {
    const char* args;
    const char* reason;
  } cases[] = {
      {"list QM1", "mqsimctl: list: takes no arguments, not 'QM1'\n"},
      {"shutdown now", "mqsimctl: shutdown: takes no arguments, not 'now'\n"},
      {"clients QM1", "mqsimctl: clients: takes no arguments, not 'QM1'\n"},
      {"stop QM1 -w", "mqsimctl: stop: -w needs seconds from 0 to 86399\n"},
      {"stop QM1 -w soon", "mqsimctl: stop: -w needs seconds from 0 to 86399\n"},
      {"stop QM1 -w 86400", "mqsimctl: stop: -w needs seconds from 0 to 86399\n"},
      {"delete-queue QM1 SYSTEM.DEFAULT.LOCAL.QUEUE --purg", "mqsimctl: delete-queue: unknown argument --purg\n"},
      {"create QM9 -p 65536", "mqsimctl: create: bad port 65536\n"},
  };
  for (const auto& c : cases) {
    harrow::testsupport::TempDir out_dir("mqsimctl-out");
    EXPECT_EQ(RunCtl(c.args, out_dir.Sub("out.log")), 1) << c.args;
    EXPECT_EQ(harrow::testsupport::ReadWholeFile(out_dir.Sub("out.log")), c.reason) << c.args;
  }
  const std::string listed = CtlOutput("list");
  EXPECT_NE(listed.find("QM1"), std::string::npos) << listed;
  EXPECT_NE(listed.find("QM2"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("QM9"), std::string::npos) << listed;

  // An installation root that holds none (a mistyped -m): said, not an
  // empty list. An installation without a server lists from its mqs.ini.
  harrow::testsupport::TempDir elsewhere("mqsimctl-empty");
  harrow::testsupport::ServerOptions options;
  options.program = MQSIMCTL_BIN;
  options.args = {"-m", elsewhere.Sub("typo"), "list"};
  options.log_path = elsewhere.Sub("out.log");
  EXPECT_EQ(harrow::testsupport::RunToExit(options, std::chrono::seconds(30)), 1);
  EXPECT_EQ(harrow::testsupport::ReadWholeFile(options.log_path),
            "mqsimctl: list: cannot read " + elsewhere.Sub("typo") + "/mqs.ini: No such file or directory\n");
  StopServer();
  const std::string offline = CtlOutput("list");
  EXPECT_NE(offline.find("QMNAME(QM1) STATUS(Ended)"), std::string::npos) << offline;
}

TEST_F(MqsimTest, ServerCommandLineMistakesNameTheOptionAndStartNothing) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* first_line;
  } cases[] = {
      {{"-x"}, 2, "mqsim: unknown option '-x'\n"},
      {{"-m"}, 2, "mqsim: -m needs a value\n"},
      {{"-s"}, 2, "mqsim: -s needs a value\n"},
      {{"-c", "0"}, 2, "mqsim: -c needs a whole number from 1 to 1000000, not '0'\n"},
      {{"-t", "ten"}, 2, "mqsim: -t needs a whole number from 1 to 86400, not 'ten'\n"},
      {{"-i", "-1"}, 2, "mqsim: -i needs a whole number from 0 to 86400, not '-1'\n"},
      {{"-?"}, 0, "usage: mqsim [-m root] [-s qmgr]... [-c n] [-t secs] [-i secs]\n"},
      {{"--help"}, 0, "usage: mqsim [-m root] [-s qmgr]... [-c n] [-t secs] [-i secs]\n"},
  };
  harrow::testsupport::TempDir other("mqsim-cli");
  for (const auto& c : cases) {
    harrow::testsupport::ServerOptions options;
    options.program = server_binary_;
    options.args = {"-m", other.Sub("mqm")};
    options.args.insert(options.args.end(), c.args.begin(), c.args.end());
    options.log_path = other.Sub("out.log");
    ::unlink(options.log_path.c_str());
    EXPECT_EQ(harrow::testsupport::RunToExit(options, std::chrono::seconds(30)), c.status) << c.args[0];
    const std::string out = harrow::testsupport::ReadWholeFile(options.log_path);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.first_line) << out;
    // Nothing was served: no installation was made.
    EXPECT_NE(access(other.Sub("mqm").c_str(), F_OK), 0) << c.args[0];
  }
}

TEST_F(MqsimTest, DefineRefusesNumbersBeyondAnMqLong) {
  EXPECT_NE(Ctl("define QM1 BIG.Q --type local --maxdepth 4294967297"), 0);  // would wrap to 1
  EXPECT_NE(Ctl("define QM1 BIG.Q --type local --maxdepth -2147483649"), 0);
  EXPECT_EQ(Ctl("define QM1 BIG.Q --type local --maxdepth 2147483647"), 0);
}

// Queue definitions, persistent messages, the error log and the lock of
// the installation are for its owner only, directories too, whatever the
// usual umask would have allowed.
TEST_F(MqsimTest, InstallationFilesAreOwnerOnlyUnderTheUsualUmask) {
  mode_t old_umask = umask(022);
  ASSERT_EQ(Ctl("create QM3 -p 0"), 0);
  ASSERT_EQ(Ctl("define QM1 SECRET.Q --type local"), 0);
  MQHCONN h = Connect();
  MQHOBJ obj = 0;
  ASSERT_EQ(Open(h, "SECRET.Q", MQOO_OUTPUT, &obj), 0);
  MQMD md = Md();
  md.Persistence = MQPER_PERSISTENT;
  ASSERT_EQ(Put(h, obj, "channel password", &md), 0);
  Disconnect(h);
  StopServer();  // a clean stop writes the checkpoint
  StartServer();
  umask(old_umask);

  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
    if (entry.is_socket()) continue;
    struct stat st;
    ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << entry.path() << " has mode " << std::oct << (st.st_mode & 0777);
    ++checked;
  }
  for (const char* must : {"mqs.ini", "mqs.lock", "qmgrs/QM1/qm.ini", "qmgrs/QM1/journal",
                           "qmgrs/QM1/checkpoint", "qmgrs/QM1/errors/AMQERR01.LOG", "qmgrs/QM3"}) {
    EXPECT_EQ(access((root_ + "/" + must).c_str(), F_OK), 0) << must;
  }
  EXPECT_GT(checked, 10);
}
