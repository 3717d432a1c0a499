// Known queue managers and the MQ installation lookups, on installations
// and registries the test lays out, and on the one mqsimctl lays out.
#include <gtest/gtest.h>
#include <os/registry.h>
#include <pcfcore/pcfcore.h>
#include <qmlink/qmlink.h>
#include <sys/stat.h>
#include <testsupport/testsupport.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mqsim_env.h"

namespace qmlink_test {
namespace {

class InstallTest : public ::testing::Test {
 protected:
  InstallTest()
      : mqm_env_("HARROWLINE_MQM", dir_.Sub("mqm")), registry_env_("HRLCOMPACT_REGISTRY", dir_.Sub("registry")) {
    mkdir(dir_.Sub("mqm").c_str(), 0700);
  }

  void Write(const std::string& relative, const std::string& text) {
    std::string path = dir_.Sub(relative);
    for (size_t at = path.find('/', dir_.path().size() + 1); at != std::string::npos; at = path.find('/', at + 1))
      mkdir(path.substr(0, at).c_str(), 0700);
    std::ofstream(path, std::ios::binary) << text;
  }

  void RegString(const std::string& key, const char* name, const std::string& value) {
    HKEY k = nullptr;
    ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, key.c_str(), &k), OS_REG_SUCCESS);
    ASSERT_EQ(osRegSetString(k, name, value.c_str()), OS_REG_SUCCESS);
    osRegCloseKey(k);
  }
  void RegInt(const std::string& key, const char* name, uint32_t value) {
    HKEY k = nullptr;
    ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, key.c_str(), &k), OS_REG_SUCCESS);
    ASSERT_EQ(osRegSetInt(k, name, value), OS_REG_SUCCESS);
    osRegCloseKey(k);
  }
  void MqVersion(uint32_t version, uint32_t release) {
    RegInt(kIbm, "MQServerVersion", version);
    RegInt(kIbm, "MQServerRelease", release);
  }

  // mqs.ini naming QM.A under <dir>/data, with its qm.ini.
  void LayOutIniInstallation(const std::string& qm_log_stanza) {
    Write("mqm/mqs.ini",
          "AllQueueManagers:\r\n"
          "   DefaultPrefix=" + dir_.Sub("data") + "\r\n"
          "\r\n"
          "LogDefaults:\n"
          "   LogPrimaryFiles=3\n"
          "   LogSecondaryFiles=2\n"
          "   LogFilePages=1024\n"
          "   LogType=CIRCULAR\n"
          "   LogBufferPages=0\n"
          "   LogDefaultPath=" + dir_.Sub("log defaults") + "   \n"
          "\n"
          "QueueManager:\n"
          "   Name=QM.A\n"
          "   Prefix=" + dir_.Sub("data") + "\n"
          "   Directory=QM!A\n");
    Write("data/qmgrs/QM!A/qm.ini", qm_log_stanza);
  }

  static constexpr const char* kIbm = "SOFTWARE\\IBM\\MQSeries\\CurrentVersion";
  ts::TempDir dir_{"qmlinkinst"};
  ts::ScopedEnv mqm_env_;
  ts::ScopedEnv registry_env_;
};

MqLogInfo Unset() {
  MqLogInfo info;
  std::memset(&info, 0x5A, sizeof info);
  info.LogPath[0] = '\0';
  return info;
}

TEST_F(InstallTest, QmIniLogStanzaKeepsBlanksInPathsAndEndsAtNextStanza) {
  LayOutIniInstallation(
      "Log:\n"
      "   LogPrimaryFiles=4\n"
      "   LogPrimaryFiles=5\n"
      "   LogSecondaryFiles=6\n"
      "   LogFilePages=2048\n"
      "   LogType=LINEAR\n"
      "   LogBufferPages=17\n"
      "   LogPath=/var/my logs/QM!A/   \r\n"
      "\n"
      "TCP:\n"
      "   Port=1414\n"
      "   LogPath=/not/this/one\n"
      "   LogPrimaryFiles=99\n");
  MqLogInfo info = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.A", &info), 1);
  EXPECT_STREQ(info.LogPath, "/var/my logs/QM!A/");
  EXPECT_EQ(info.LogType, MQLOG_TYPE_LINEAR);
  EXPECT_EQ(info.LogPrimaryFiles, 5);
  EXPECT_EQ(info.LogSecondaryFiles, 6);
  EXPECT_EQ(info.LogFilePages, 2048);
  EXPECT_EQ(info.LogBufferPages, 17);
  // Blanks in the name given are no part of it.
  MqLogInfo again = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.A  ", &again), 1);
  EXPECT_STREQ(again.LogPath, info.LogPath);
}

TEST_F(InstallTest, InstallationLogDefaultsComeFromMqsIni) {
  LayOutIniInstallation("Log:\n   LogPath=/x\n");
  MqLogInfo info = Unset();
  ASSERT_EQ(GetMQLogInfo(nullptr, &info), 1);
  EXPECT_EQ(std::string(info.LogPath), dir_.Sub("log defaults"));
  EXPECT_EQ(info.LogType, MQLOG_TYPE_CIRCULAR);
  EXPECT_EQ(info.LogPrimaryFiles, 3);
  EXPECT_EQ(info.LogSecondaryFiles, 2);
  EXPECT_EQ(info.LogFilePages, 1024);
  EXPECT_EQ(info.LogBufferPages, 0);
}

TEST_F(InstallTest, MissingFilesAndStanzasGiveZero) {
  MqLogInfo info = Unset();
  EXPECT_EQ(GetMQLogInfo(nullptr, &info), 0) << "no mqs.ini";
  LayOutIniInstallation("TCP:\n   Port=1\n");
  EXPECT_EQ(GetMQLogInfo("QM.A", &info), 0) << "no Log stanza";
  EXPECT_EQ(GetMQLogInfo("QM.UNKNOWN", &info), 0) << "not in mqs.ini";
  EXPECT_EQ(GetMQLogInfo("QM.A", nullptr), 0);
  LayOutIniInstallation("Log:\n   LogPath=" + std::string(300, 'p') + "\n");
  EXPECT_EQ(GetMQLogInfo("QM.A", &info), 0) << "a path longer than the field is not cut";
}

TEST_F(InstallTest, WithoutMqsIniTheDirectoryIsTheNameUnderWorkPath) {
  RegString(kIbm, "WorkPath", dir_.Sub("work"));
  Write("work/qmgrs/QM!B/qm.ini", "Log:\n   LogPath=/logs/QM!B/\n");
  MqLogInfo info = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.B", &info), 1);
  EXPECT_STREQ(info.LogPath, "/logs/QM!B/");
  char path[MQLOG_PATH_LENGTH];
  ASSERT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.B", path), 1);
  EXPECT_EQ(std::string(path), dir_.Sub("work/qmgrs/QM!B/errors"));
  EXPECT_EQ(GetErrorLogPath(0, nullptr, path), 0) << "the installation scope needs mqs.ini";
}

TEST_F(InstallTest, RegistryIsTheSourceFromMq51On) {
  LayOutIniInstallation("Log:\n   LogPath=/from/ini/\n");
  std::string qm_key = std::string(kIbm) + "\\Configuration\\QueueManager\\QM!A";
  RegString(qm_key + "\\Log", "LogPath", "/from/registry/QM!A/");
  RegString(qm_key + "\\Log", "LogType", "LINEAR");
  RegString(qm_key + "\\Log", "LogPrimaryFiles", "7");
  RegInt(qm_key + "\\Log", "LogSecondaryFiles", 8);
  RegString(qm_key, "Prefix", "/reg/prefix");
  RegString(qm_key, "Directory", "QM!A");
  RegString(std::string(kIbm) + "\\Configuration\\LogDefaults", "LogDefaultPath", "/reg/defaults");
  RegString(std::string(kIbm) + "\\Configuration\\AllQueueManagers", "DefaultPrefix", "/reg/all");

  struct Case {
    uint32_t version, release;
    const char* path;
  } cases[] = {{5, 1, "/from/registry/QM!A/"}, {6, 3, "/from/registry/QM!A/"}, {5, 0, "/from/ini/"}, {4, 9, "/from/ini/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + "." + std::to_string(c.release));
    MqVersion(c.version, c.release);
    MqLogInfo info = Unset();
    ASSERT_EQ(GetMQLogInfo("QM.A", &info), 1);
    EXPECT_STREQ(info.LogPath, c.path);
  }
  MqVersion(5, 3);
  MqLogInfo info = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.A", &info), 1);
  EXPECT_EQ(info.LogType, MQLOG_TYPE_LINEAR);
  EXPECT_EQ(info.LogPrimaryFiles, 7);
  EXPECT_EQ(info.LogSecondaryFiles, 8);
  ASSERT_EQ(GetMQLogInfo(nullptr, &info), 1);
  EXPECT_STREQ(info.LogPath, "/reg/defaults");
  EXPECT_EQ(GetMQLogInfo("QM.NONE", &info), 0);

  char path[MQLOG_PATH_LENGTH];
  ASSERT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.A", path), 1);
  EXPECT_STREQ(path, "/reg/prefix/qmgrs/QM!A/errors");
  ASSERT_EQ(GetErrorLogPath(2, nullptr, path), 1);
  EXPECT_STREQ(path, "/reg/all/errors");
  EXPECT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, nullptr, path), 0);
  EXPECT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.NONE", path), 0);
}

TEST_F(InstallTest, ErrorLogPathFromIniFilesAndBoundedByTheBuffer) {
  LayOutIniInstallation("Log:\n   LogPath=/x\n");
  char path[MQLOG_PATH_LENGTH];
  ASSERT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.A", path), 1);
  EXPECT_EQ(std::string(path), dir_.Sub("data/qmgrs/QM!A/errors"));
  ASSERT_EQ(GetErrorLogPath(0, nullptr, path), 1);
  EXPECT_EQ(std::string(path), dir_.Sub("data/errors"));
  char small[8] = "canary";
  EXPECT_EQ(GetErrorLogPathN(0, nullptr, small, sizeof small), 0);
}

TEST_F(InstallTest, ErrorLogNamesAreListedInNameOrderAndBounded) {
  for (const char* f : {"AMQERR03.LOG", "AMQERR01.LOG", "AMQERR02.LOG", "other.txt", "AMQNODOT", "amqlow.log"})
    Write(std::string("errs/") + f, "x");
  mkdir(dir_.Sub("errs/AMQDIR.D").c_str(), 0700);
  const std::string all = "AMQERR01.LOG;AMQERR02.LOG;AMQERR03.LOG;amqlow.log;";
  struct Case {
    MQLONG length;
    std::string text;
    int result;
  } cases[] = {
      {200, all, 1},
      {static_cast<MQLONG>(all.size()) + 1, all, 1},
      {static_cast<MQLONG>(all.size()), "AMQERR01.LOG;AMQERR02.LOG;AMQERR03.LOG;", 1},
      {26, "AMQERR01.LOG;", 1},  // the second name does not fit with its NUL
      {27, "AMQERR01.LOG;AMQERR02.LOG;", 1},
      {14, "AMQERR01.LOG;", 1},
      {13, "", 0},
      {1, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<char> buffer(static_cast<size_t>(c.length) + 16, '#');
    MQLONG length = c.length;
    EXPECT_EQ(GetErrorLogNames(dir_.Sub("errs").c_str(), buffer.data(), &length), c.result);
    EXPECT_EQ(std::string(buffer.data()), c.text);
    EXPECT_EQ(length, static_cast<MQLONG>(c.text.size()));
    for (size_t i = static_cast<size_t>(c.length); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << "write past the length";
  }
  MQLONG length = 100;
  char text[100];
  EXPECT_EQ(GetErrorLogNames(dir_.Sub("none").c_str(), text, &length), 0);
  EXPECT_EQ(length, 0);
  length = 0;
  EXPECT_EQ(GetErrorLogNames(dir_.Sub("errs").c_str(), text, &length), 0);
}

// ---- known queue managers -----------------------------------------------------

std::vector<std::string> ListedNames(const char* mask) {
  Pcf out(EXCMD_INQUIRE_Q_MGR_NAMES, MQCFT_RESPONSE);
  std::unique_ptr<MQPlatform, int (*)(MQPlatform*)> platform(CreateMQPlatform("WIN32"), DeleteMQPlatform);
  EXPECT_EQ(platform->kind, 5);
  EXPECT_STREQ(platform->name, "WIN32");
  int ok = mask == nullptr ? platform->pl_read(out.m, platform.get()) : plReadWithMask(out.m, platform.get(), mask);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(RawToPcf(out.m), 1);
  std::vector<std::string> names;
  Message rec{};
  if (GetAttrByID(MQCA_Q_MGR_NAME, &rec, out.m) != 1) return names;
  const auto* list = reinterpret_cast<const MQCFSL*>(rec.Payload);
  EXPECT_EQ(list->StringLength, 48);
  char text[49];
  for (MQLONG i = 0; i < list->Count; ++i) {
    EXPECT_EQ(GetPcfStrListAttrValue(&rec, i, text, 48), 1);
    names.push_back(Trimmed(text, 48));
  }
  DeleteMessage(&rec);
  return names;
}

TEST_F(InstallTest, KnownQueueManagersAreTheClientKeysWithoutLimit) {
  EXPECT_TRUE(ListedNames(nullptr).empty()) << "no key: an empty list";
  std::string base = "Software\\Brackwin\\Harrowline Compact\\Queue Managers\\";
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "QM%02d", i);
    RegString(base + name, "Channel Name", "SYSTEM.DEF.SVRCONN");
    expected.push_back(name);
  }
  RegString(base + "QM!A", "Channel Name", "X");
  RegString(base + "OTHER", "Channel Name", "X");
  std::vector<std::string> all = ListedNames(nullptr);
  EXPECT_EQ(all.size(), 42u);
  EXPECT_EQ(all.front(), "OTHER");
  EXPECT_EQ(all[1], "QM.A") << "'!' is listed as '.'";
  EXPECT_EQ(std::vector<std::string>(all.begin() + 2, all.end()), expected);
  EXPECT_EQ(ListedNames("QM3*"), (std::vector<std::string>{"QM30", "QM31", "QM32", "QM33", "QM34", "QM35", "QM36",
                                                            "QM37", "QM38", "QM39"}));
  EXPECT_EQ(ListedNames("QM.*"), std::vector<std::string>{"QM.A"});
  EXPECT_TRUE(ListedNames("NOPE*").empty());
  EXPECT_EQ(plReadWithMask(nullptr, nullptr, "*"), 0);
  EXPECT_EQ(DeleteMQPlatform(nullptr), 0);
}

TEST(CharSubstituteTest, ReplacesEveryOccurrenceInPlace) {
  char text[] = "QM.A.B";
  EXPECT_EQ(CharSubstitute(text, '.', '!'), 0);
  EXPECT_STREQ(text, "QM!A!B");
  EXPECT_EQ(CharSubstitute(nullptr, '.', '!'), 0);
}

// ---- the installation mqsimctl lays out ----------------------------------------

TEST_F(InstallTest, LookupsAgreeOnTheInstallationMqsimctlWrites) {
  auto ctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-m", dir_.Sub("mqm")});
    return RunProgram(ts::ProgramPath("mqsimctl"), args, dir_.Sub("ctl.log"));
  };
  ASSERT_EQ(ctl({"create", "QM.A", "-D"}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  MqLogInfo from_ini = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.A", &from_ini), 1);
  EXPECT_EQ(std::string(from_ini.LogPath), dir_.Sub("mqm") + "/log/QM!A/");
  EXPECT_EQ(from_ini.LogType, MQLOG_TYPE_CIRCULAR);
  EXPECT_EQ(from_ini.LogPrimaryFiles, 3);
  char ini_errors[MQLOG_PATH_LENGTH];
  ASSERT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.A", ini_errors), 1);
  EXPECT_EQ(std::string(ini_errors), dir_.Sub("mqm") + "/qmgrs/QM!A/errors");
  char names[256];
  MQLONG length = sizeof names;
  ASSERT_EQ(GetErrorLogNames(ini_errors, names, &length), 1);
  EXPECT_STREQ(names, "AMQERR01.LOG;");

  ASSERT_EQ(ctl({"registry"}), 0) << ts::ReadWholeFile(dir_.Sub("ctl.log"));
  MqLogInfo from_registry = Unset();
  ASSERT_EQ(GetMQLogInfo("QM.A", &from_registry), 1);
  EXPECT_STREQ(from_registry.LogPath, from_ini.LogPath);
  EXPECT_EQ(from_registry.LogType, from_ini.LogType);
  EXPECT_EQ(from_registry.LogPrimaryFiles, from_ini.LogPrimaryFiles);
  EXPECT_EQ(from_registry.LogSecondaryFiles, from_ini.LogSecondaryFiles);
  EXPECT_EQ(from_registry.LogFilePages, from_ini.LogFilePages);
  EXPECT_EQ(from_registry.LogBufferPages, from_ini.LogBufferPages);
  char registry_errors[MQLOG_PATH_LENGTH];
  ASSERT_EQ(GetErrorLogPath(MQERRLOG_SCOPE_QMGR, "QM.A", registry_errors), 1);
  EXPECT_STREQ(registry_errors, ini_errors);
}

}  // namespace
}  // namespace qmlink_test
