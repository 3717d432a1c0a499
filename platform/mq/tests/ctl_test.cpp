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
