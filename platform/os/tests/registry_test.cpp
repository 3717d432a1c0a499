// The registry stand-in: keys, values, enumeration, the hive file and
// writers in several processes.

#include "os/registry.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class OsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("os_registry");
    ASSERT_FALSE(temp_->path().empty());
    dir_ = temp_->path();
    registry_env_.emplace("HRLCOMPACT_REGISTRY", dir_);
  }
  void TearDown() override {
    registry_env_.reset();
    temp_.reset();
  }

  std::string ReadFile(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary);
    out << text;
  }
  std::string QueryString(HKEY key, const char* name) {
    char text[512];
    uint32_t size = sizeof(text);
    long rc = osRegQueryString(key, name, text, &size);
    return rc == OS_REG_SUCCESS ? std::string(text) : "<rc " + std::to_string(rc) + ">";
  }
  std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    for (uint32_t i = 0;; ++i) {
      char name[300];
      uint32_t size = sizeof(name);
      long rc = osRegEnumKey(key, i, name, &size);
      if (rc == OS_REG_NO_MORE_ITEMS) break;
      EXPECT_EQ(rc, OS_REG_SUCCESS);
      if (rc != OS_REG_SUCCESS) break;
      EXPECT_EQ(size, std::strlen(name));
      names.push_back(name);
    }
    return names;
  }

  std::optional<harrow::testsupport::TempDir> temp_;
  std::optional<harrow::testsupport::ScopedEnv> registry_env_;
  std::string dir_;
};

TEST_F(OsRegistryTest, StringAndIntegerValuesReadBack) {
  HKEY key = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Software\\Brackwin\\Harrowline Compact", &key),
            OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "WorkPath", "/srv/harrow"), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetInt(key, "Count", 0xFFFFFFFEu), OS_REG_SUCCESS);
  EXPECT_EQ(QueryString(key, "WorkPath"), "/srv/harrow");
  uint32_t number = 0;
  EXPECT_EQ(osRegQueryInt(key, "Count", &number), OS_REG_SUCCESS);
  EXPECT_EQ(number, 0xFFFFFFFEu);
  uint32_t type = 0, size = 0;
  EXPECT_EQ(osRegQueryValue(key, "WorkPath", &type, nullptr, &size), OS_REG_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 12u);  // characters and NUL
  EXPECT_EQ(osRegCloseKey(key), OS_REG_SUCCESS);
}

TEST_F(OsRegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  HKEY key = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_CURRENT_USER, "Software\\Brackwin", &key), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "Last Delete Criteria", "C1"), OS_REG_SUCCESS);
  osRegCloseKey(key);

  ASSERT_EQ(osRegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\brackwin", &key), OS_REG_SUCCESS);
  EXPECT_EQ(QueryString(key, "last delete CRITERIA"), "C1");
  // Rewriting through another spelling keeps the stored name.
  ASSERT_EQ(osRegSetString(key, "LAST DELETE CRITERIA", "C2"), OS_REG_SUCCESS);
  osRegCloseKey(key);
  EXPECT_EQ(SubKeys(HKEY_CURRENT_USER), std::vector<std::string>{"Software"});
  EXPECT_EQ(ReadFile("user.hive"),
            "BRACKWIN-HIVE 1\n[Software]\n[Software\\Brackwin]\nsz:Last Delete Criteria=C2\n");
}

TEST_F(OsRegistryTest, MissingKeysAndValuesAreNotFound) {
  HKEY key = nullptr;
  EXPECT_EQ(osRegOpenKey(HKEY_LOCAL_MACHINE, "Software\\Nothing", &key), OS_REG_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Software", &key), OS_REG_SUCCESS);
  uint32_t number;
  EXPECT_EQ(osRegQueryInt(key, "Absent", &number), OS_REG_FILE_NOT_FOUND);
  EXPECT_EQ(osRegDeleteValue(key, "Absent"), OS_REG_FILE_NOT_FOUND);
  EXPECT_EQ(osRegDeleteKey(key, "Absent"), OS_REG_FILE_NOT_FOUND);
  osRegCloseKey(key);
  EXPECT_EQ(osRegOpenKey(nullptr, "Software", &key), OS_REG_INVALID_HANDLE);
}

TEST_F(OsRegistryTest, SmallBufferReportsTheSizeNeeded) {
  ASSERT_EQ(osRegSetString(HKEY_LOCAL_MACHINE, "Name", "ABCDEFGH"), OS_REG_SUCCESS);
  char text[4] = {'x', 'x', 'x', 'x'};
  uint32_t size = sizeof(text);
  EXPECT_EQ(osRegQueryString(HKEY_LOCAL_MACHINE, "Name", text, &size), OS_REG_MORE_DATA);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(text[0], 'x');  // untouched
  size = 9;
  char exact[9];
  EXPECT_EQ(osRegQueryString(HKEY_LOCAL_MACHINE, "Name", exact, &size), OS_REG_SUCCESS);
  EXPECT_STREQ(exact, "ABCDEFGH");
}

TEST_F(OsRegistryTest, TypedQueriesRefuseTheOtherType) {
  ASSERT_EQ(osRegSetString(HKEY_LOCAL_MACHINE, "S", "1"), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "I", 1), OS_REG_SUCCESS);
  uint32_t number;
  EXPECT_EQ(osRegQueryInt(HKEY_LOCAL_MACHINE, "S", &number), OS_REG_WRONG_TYPE);
  char text[8];
  uint32_t size = sizeof(text);
  EXPECT_EQ(osRegQueryString(HKEY_LOCAL_MACHINE, "I", text, &size), OS_REG_WRONG_TYPE);
  // Setting a value with another type replaces it.
  ASSERT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "S", 7), OS_REG_SUCCESS);
  EXPECT_EQ(osRegQueryInt(HKEY_LOCAL_MACHINE, "S", &number), OS_REG_SUCCESS);
  EXPECT_EQ(number, 7u);
}

TEST_F(OsRegistryTest, SubKeysEnumerateInCaseInsensitiveOrder) {
  HKEY base = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Software\\Brackwin\\Harrowline Compact\\Queue Managers",
                           &base),
            OS_REG_SUCCESS);
  for (const char* name : {"QM_b", "qm_A", "QM!C", "QM_B\\Deeper"}) {
    HKEY child = nullptr;
    ASSERT_EQ(osRegCreateKey(base, name, &child), OS_REG_SUCCESS);
    osRegCloseKey(child);
  }
  EXPECT_EQ(SubKeys(base), (std::vector<std::string>{"QM!C", "qm_A", "QM_b"}));
  char small[3];
  uint32_t size = sizeof(small);
  EXPECT_EQ(osRegEnumKey(base, 0, small, &size), OS_REG_MORE_DATA);
  EXPECT_EQ(size, 5u);
  osRegCloseKey(base);
}

TEST_F(OsRegistryTest, DeleteKeyRefusesAKeyWithSubKeys) {
  HKEY key = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "A\\B\\C", &key), OS_REG_SUCCESS);
  osRegCloseKey(key);
  EXPECT_EQ(osRegDeleteKey(HKEY_LOCAL_MACHINE, "A\\B"), OS_REG_ACCESS_DENIED);
  EXPECT_EQ(osRegDeleteKey(HKEY_LOCAL_MACHINE, "A\\B\\C"), OS_REG_SUCCESS);
  EXPECT_EQ(osRegDeleteKey(HKEY_LOCAL_MACHINE, "a\\b"), OS_REG_SUCCESS);
  EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"A"});
}

TEST_F(OsRegistryTest, DeletingIndexZeroUntilEnumerationFailsEmptiesAKey) {
  HKEY base = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Q", &base), OS_REG_SUCCESS);
  for (int i = 0; i < 5; ++i) {
    HKEY child;
    ASSERT_EQ(osRegCreateKey(base, ("QM" + std::to_string(i)).c_str(), &child), OS_REG_SUCCESS);
    ASSERT_EQ(osRegSetString(child, "Channel Name", "SYSTEM.DEF.SVRCONN"), OS_REG_SUCCESS);
    osRegCloseKey(child);
  }
  int deleted = 0;
  char name[64];
  uint32_t size = sizeof(name);
  while (osRegEnumKey(base, 0, name, &size) == OS_REG_SUCCESS) {
    ASSERT_EQ(osRegDeleteKey(base, name), OS_REG_SUCCESS);
    size = sizeof(name);
    ++deleted;
  }
  EXPECT_EQ(deleted, 5);
  osRegCloseKey(base);
}

TEST_F(OsRegistryTest, HandleOfADeletedKeyReportsKeyDeleted) {
  HKEY key = nullptr;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "Gone", &key), OS_REG_SUCCESS);
  ASSERT_EQ(osRegDeleteKey(HKEY_LOCAL_MACHINE, "Gone"), OS_REG_SUCCESS);
  EXPECT_EQ(osRegSetString(key, "X", "1"), OS_REG_KEY_DELETED);
  uint32_t number;
  EXPECT_EQ(osRegQueryInt(key, "X", &number), OS_REG_KEY_DELETED);
  osRegCloseKey(key);
}

TEST_F(OsRegistryTest, HivesAreSeparateFiles) {
  ASSERT_EQ(osRegSetString(HKEY_LOCAL_MACHINE, "Where", "machine"), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(HKEY_CURRENT_USER, "Where", "user"), OS_REG_SUCCESS);
  EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, "Where"), "machine");
  EXPECT_EQ(QueryString(HKEY_CURRENT_USER, "Where"), "user");
  EXPECT_EQ(ReadFile("machine.hive"), "BRACKWIN-HIVE 1\n[]\nsz:Where=machine\n");
  EXPECT_EQ(ReadFile("user.hive"), "BRACKWIN-HIVE 1\n[]\nsz:Where=user\n");
}

TEST_F(OsRegistryTest, SpecialCharactersAreEscapedInTheFileAndReadBack) {
  HKEY key;
  ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, "K[1]%", &key), OS_REG_SUCCESS);
  ASSERT_EQ(osRegSetString(key, "a=b", "line1\r\nline2 100% = x"), OS_REG_SUCCESS);
  EXPECT_EQ(ReadFile("machine.hive"),
            "BRACKWIN-HIVE 1\n[K%5B1%5D%25]\nsz:a%3Db=line1%0D%0Aline2 100%25 = x\n");
  EXPECT_EQ(QueryString(key, "a=b"), "line1\r\nline2 100% = x");
  osRegCloseKey(key);
}

TEST_F(OsRegistryTest, HandWrittenHiveWithCrlfIsRead) {
  WriteFile("machine.hive",
            "BRACKWIN-HIVE 1\r\n# written by hand\r\n\r\n"
            "[Software\\IBM\\MQSeries\\CurrentVersion]\r\n"
            "sz:FilePath=/var/mqm\r\ndword:MQServerVersion=5\r\n");
  HKEY key;
  ASSERT_EQ(osRegOpenKey(HKEY_LOCAL_MACHINE, "Software\\IBM\\MQSeries\\CurrentVersion", &key),
            OS_REG_SUCCESS);
  EXPECT_EQ(QueryString(key, "FilePath"), "/var/mqm");
  uint32_t version = 0;
  EXPECT_EQ(osRegQueryInt(key, "MQServerVersion", &version), OS_REG_SUCCESS);
  EXPECT_EQ(version, 5u);
  osRegCloseKey(key);
  // Parents that the file leaves out exist all the same.
  EXPECT_EQ(SubKeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"Software"});
}

struct CorruptCase {
  const char* name;
  const char* text;
};

TEST_F(OsRegistryTest, MalformedHiveFilesAreReportedCorrupt) {
  const CorruptCase cases[] = {
      {"bad magic", "BRACKWIN-HIVE 2\n"},
      {"value before key", "BRACKWIN-HIVE 1\nsz:A=1\n"},
      {"unknown type", "BRACKWIN-HIVE 1\n[K]\nbinary:A=00\n"},
      {"dword not a number", "BRACKWIN-HIVE 1\n[K]\ndword:A=12x\n"},
      {"dword too large", "BRACKWIN-HIVE 1\n[K]\ndword:A=4294967296\n"},
      {"bad escape", "BRACKWIN-HIVE 1\n[K]\nsz:A=%G1\n"},
      {"escape cut short", "BRACKWIN-HIVE 1\n[K]\nsz:A=%4\n"},
      {"key without bracket", "BRACKWIN-HIVE 1\n[K\n"},
      {"empty path part", "BRACKWIN-HIVE 1\n[A\\\\B]\n"},
      {"no equals", "BRACKWIN-HIVE 1\n[K]\nsz:A\n"},
      {"NUL in string", "BRACKWIN-HIVE 1\n[K]\nsz:A=x%00y\n"},
  };
  for (const CorruptCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("machine.hive", c.text);
    HKEY key = nullptr;
    EXPECT_EQ(osRegOpenKey(HKEY_LOCAL_MACHINE, "K", &key), OS_REG_CORRUPT);
    // A writer refuses to overwrite what it cannot read.
    EXPECT_EQ(osRegSetString(HKEY_LOCAL_MACHINE, "X", "1"), OS_REG_CORRUPT);
    EXPECT_EQ(ReadFile("machine.hive"), c.text);
  }
}

TEST_F(OsRegistryTest, DefaultDirectoriesFollowTheVariables) {
  unsetenv("HRLCOMPACT_REGISTRY");
  const char* old_xdg = getenv("XDG_CONFIG_HOME");
  std::string saved = old_xdg ? old_xdg : "";
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
  char path[512];
  EXPECT_EQ(osRegHiveFile(HKEY_LOCAL_MACHINE, path, sizeof(path)), OS_REG_SUCCESS);
  EXPECT_STREQ(path, "/etc/brackwin/machine.hive");
  EXPECT_EQ(osRegHiveFile(HKEY_CURRENT_USER, path, sizeof(path)), OS_REG_SUCCESS);
  EXPECT_STREQ(path, "/tmp/xdg-here/brackwin/user.hive");
  unsetenv("XDG_CONFIG_HOME");
  const char* old_home = getenv("HOME");
  std::string saved_home = old_home ? old_home : "";
  setenv("HOME", "/tmp/home-here", 1);
  EXPECT_EQ(osRegHiveFile(HKEY_CURRENT_USER, path, sizeof(path)), OS_REG_SUCCESS);
  EXPECT_STREQ(path, "/tmp/home-here/.config/brackwin/user.hive");
  if (old_home) setenv("HOME", saved_home.c_str(), 1); else unsetenv("HOME");
  if (old_xdg) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  setenv("HRLCOMPACT_REGISTRY", dir_.c_str(), 1);
  EXPECT_EQ(osRegHiveFile(HKEY_CURRENT_USER, path, sizeof(path)), OS_REG_SUCCESS);
  EXPECT_EQ(std::string(path), dir_ + "/user.hive");
}

TEST_F(OsRegistryTest, UnusableDirectoryFailsWithoutCrashing) {
  WriteFile("plainfile", "x");
  setenv("HRLCOMPACT_REGISTRY", (dir_ + "/plainfile/sub").c_str(), 1);
  EXPECT_NE(osRegSetString(HKEY_LOCAL_MACHINE, "X", "1"), OS_REG_SUCCESS);
  HKEY key = nullptr;
  // Reading a hive that cannot exist reads as empty.
  EXPECT_EQ(osRegOpenKey(HKEY_LOCAL_MACHINE, "X", &key), OS_REG_FILE_NOT_FOUND);
}

// Writers in several processes and threads each add their own values; the
// lock and the atomic replace must keep every one of them.
TEST_F(OsRegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kProcesses = 4;
  constexpr int kThreads = 3;
  constexpr int kValuesEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<std::thread> threads;
      bool ok = true;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([p, t, &ok] {
          for (int v = 0; v < kValuesEach; ++v) {
            std::string name = "p" + std::to_string(p) + "t" + std::to_string(t) + "v" + std::to_string(v);
            if (osRegSetInt(HKEY_LOCAL_MACHINE, name.c_str(), static_cast<uint32_t>(v)) != OS_REG_SUCCESS) ok = false;
          }
        });
      }
      for (auto& th : threads) th.join();
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p)
    for (int t = 0; t < kThreads; ++t)
      for (int v = 0; v < kValuesEach; ++v) {
        std::string name = "p" + std::to_string(p) + "t" + std::to_string(t) + "v" + std::to_string(v);
        uint32_t value = 99;
        ASSERT_EQ(osRegQueryInt(HKEY_LOCAL_MACHINE, name.c_str(), &value), OS_REG_SUCCESS) << name;
        EXPECT_EQ(value, static_cast<uint32_t>(v));
      }
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
        << "temporary left behind: " << entry.path();
  }
}

// A writer killed at any moment leaves a readable hive that holds every
// change it had acknowledged.
TEST_F(OsRegistryTest, KilledWriterLosesNothingAcknowledged) {
  for (int round = 0; round < 5; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      for (uint32_t i = 0;; ++i) {
        std::string name = "r" + std::to_string(round) + "v" + std::to_string(i);
        if (osRegSetInt(HKEY_LOCAL_MACHINE, name.c_str(), i) != OS_REG_SUCCESS) _exit(1);
        if (write(fds[1], &i, sizeof(i)) != sizeof(i)) _exit(1);
      }
    }
    close(fds[1]);
    uint32_t acked = 0;
    bool any = false;
    // Kill it after a number of acknowledgements that varies by round.
    for (int seen = 0; seen < 10 + 7 * round; ++seen) {
      ASSERT_EQ(read(fds[0], &acked, sizeof(acked)), static_cast<ssize_t>(sizeof(acked)));
      any = true;
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    uint32_t more;
    while (read(fds[0], &more, sizeof(more)) == static_cast<ssize_t>(sizeof(more))) acked = more;
    close(fds[0]);
    ASSERT_TRUE(any);
    for (uint32_t i = 0; i <= acked; ++i) {
      std::string name = "r" + std::to_string(round) + "v" + std::to_string(i);
      uint32_t value = 0;
      ASSERT_EQ(osRegQueryInt(HKEY_LOCAL_MACHINE, name.c_str(), &value), OS_REG_SUCCESS) << name;
      EXPECT_EQ(value, i);
    }
    // The next writer is not held up by the dead one's lock or temporary.
    ASSERT_EQ(osRegSetInt(HKEY_LOCAL_MACHINE, "after", static_cast<uint32_t>(round)), OS_REG_SUCCESS);
  }
}

// Random operations against the registry and a std::map model.
TEST_F(OsRegistryTest, RandomOperationsMatchAMapModel) {
  // Random by default, printed, replayed with HARROW_TEST_SEED.
  const unsigned seed = static_cast<unsigned>(harrow::testsupport::TestSeed());
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const char* keys[] = {"K1", "K2", "K2\\Sub"};
  const char* names[] = {"a", "B", "c d", ""};
  std::map<std::string, std::map<std::string, std::string>> model;  // folded key -> folded name -> value
  auto fold = [](std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (int step = 0; step < 300; ++step) {
    std::string key = keys[rng() % 3];
    std::string name = names[rng() % 4];
    if (rng() % 2) {
      for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    int op = rng() % 4;
    HKEY handle = nullptr;
    if (op <= 1) {
      std::string value = std::to_string(rng() % 1000);
      ASSERT_EQ(osRegCreateKey(HKEY_LOCAL_MACHINE, key.c_str(), &handle), OS_REG_SUCCESS);
      ASSERT_EQ(osRegSetString(handle, name.c_str(), value.c_str()), OS_REG_SUCCESS);
      model[fold(key)][fold(name)] = value;
      if (key == "K2\\Sub") model["k2"];
    } else if (op == 2) {
      long rc = osRegOpenKey(HKEY_LOCAL_MACHINE, key.c_str(), &handle);
      if (!model.count(fold(key))) {
        EXPECT_EQ(rc, OS_REG_FILE_NOT_FOUND);
        continue;
      }
      ASSERT_EQ(rc, OS_REG_SUCCESS);
      rc = osRegDeleteValue(handle, name.c_str());
      EXPECT_EQ(rc, model[fold(key)].erase(fold(name)) ? OS_REG_SUCCESS : OS_REG_FILE_NOT_FOUND);
    } else {
      long rc = osRegDeleteKey(HKEY_LOCAL_MACHINE, key.c_str());
      if (!model.count(fold(key))) {
        EXPECT_EQ(rc, OS_REG_FILE_NOT_FOUND);
      } else if (key == "K2" && model.count("k2\\sub")) {
        EXPECT_EQ(rc, OS_REG_ACCESS_DENIED);
      } else {
        EXPECT_EQ(rc, OS_REG_SUCCESS);
        model.erase(fold(key));
      }
    }
    if (handle) osRegCloseKey(handle);
    if (step % 25 == 0) {
      for (const char* k : keys) {
        HKEY h = nullptr;
        long rc = osRegOpenKey(HKEY_LOCAL_MACHINE, k, &h);
        ASSERT_EQ(rc == OS_REG_SUCCESS, model.count(fold(k)) == 1) << k;
        if (rc != OS_REG_SUCCESS) continue;
        for (const char* n : names) {
          auto& values = model[fold(k)];
          auto it = values.find(fold(n));
          EXPECT_EQ(QueryString(h, n), it == values.end() ? "<rc 2>" : it->second) << k << "/" << n;
        }
        osRegCloseKey(h);
      }
    }
  }
}

}  // namespace
