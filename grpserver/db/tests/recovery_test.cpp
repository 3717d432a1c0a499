// Recovery, backup, restore and re-indexing: damaged index files are
// rebuilt from the current data; a damaged data file is detected and only
// then is the backup used, after the damaged files are moved aside; an I/O
// error changes nothing; backups keep a previous generation and are never
// taken after a failed syncpoint.
#include <algorithm>
#include <cstring>

#include "db_fixture.h"
#include "dictionary.h"
#include "engine.h"

namespace groupdb {
namespace {

using testing::PutWord;
using testing::ReadWholeFile;
using testing::Reported;
using testing::WriteWholeFile;

class RecoveryTest : public testing::DbFixture {
 protected:
  // A group with n queues, closed cleanly.
  void MakeGroup(int n) {
    Open();
    AddManager("M1");
    AddQueues(0, n);
    ASSERT_EQ(DbCloseLocked(), 1);
  }
  void AddQueues(int from, int to) {
    int out = -1;
    for (int i = from; i < to; ++i) {
      GroupDbRecord q = Queue("M1", "N1", "QM1", "Q" + std::to_string(i));
      ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1) << out;
    }
  }
  int CountQueues() {
    int out = -1, count = 0;
    GroupDbRecord r = Blank(DBT_LOCALQS);
    for (int ok = DbReadRecord(&r, GDB_READ_FIRST, &out); ok == 1; ok = DbReadRecord(&r, GDB_READ_NEXT, &out)) {
      ++count;
    }
    return count;
  }
  bool HasQueue(int i) {
    int out = -1;
    GroupDbRecord q = Queue("M1", "N1", "QM1", "Q" + std::to_string(i));
    return DbReadRecord(&q, GDB_READ_KEY, &out) == 1;
  }
  int OpenWithRecovery() {
    testing::CapturedReports().clear();
    int out = -1;
    int ok = DbOpenWithRecovery(group_.c_str(), &out);
    return ok == 1 ? 0 : out;
  }
  std::vector<std::string> AsideDirs() {
    std::vector<std::string> names, aside;
    (void)ListDirectory(GroupDir(), &names);
    for (const auto& n : names) {
      if (n.rfind("aside-", 0) == 0) aside.push_back(n);
    }
    return aside;
  }
  // Every file of the group directory with its bytes.
  std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<std::string> names;
    (void)ListDirectory(dir, &names);
    for (const auto& n : names) {
      if (IsDirectory(dir + n)) {
        for (auto& [k, v] : Snapshot(dir + n + "/")) files[n + "/" + k] = v;
      } else {
        files[n] = ReadWholeFile(dir + n);
      }
    }
    return files;
  }
};

struct IndexDamage {
  const char* what;
  void (*apply)(const std::string& path);
};

class IndexDamageTest : public RecoveryTest, public ::testing::WithParamInterface<IndexDamage> {};

TEST_P(IndexDamageTest, DamagedIndexIsRebuiltFromTheCurrentData) {
  MakeGroup(120);
  ASSERT_EQ(OpenWithRecovery(), 0);  // takes the backup of 120 queues
  AddQueues(120, 150);                // changes after the backup
  ASSERT_EQ(DbCloseLocked(), 1);
  GetParam().apply(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0005")) << GetParam().what;
  EXPECT_FALSE(Reported("IGE0036"));
  EXPECT_TRUE(AsideDirs().empty());
  EXPECT_EQ(CountQueues(), 150) << "records since the backup were lost";
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(HasQueue(i)) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, IndexDamageTest,
    ::testing::Values(
        IndexDamage{"left_in_use",
                    [](const std::string& p) {
                      auto b = ReadWholeFile(p);
                      PutWord(b, 20, 1);
                      WriteWholeFile(p, b);
                    }},
        IndexDamage{"missing", [](const std::string& p) { (void)RemoveFile(p); }},
        IndexDamage{"truncated",
                    [](const std::string& p) {
                      auto b = ReadWholeFile(p);
                      b.resize(1024 + 100);
                      WriteWholeFile(p, b);
                    }},
        IndexDamage{"wrong_key_length",
                    [](const std::string& p) {
                      auto b = ReadWholeFile(p);
                      PutWord(b, 4, 12);
                      WriteWholeFile(p, b);
                    }},
        IndexDamage{"root_out_of_range",
                    [](const std::string& p) {
                      auto b = ReadWholeFile(p);
                      PutWord(b, 0, 99999);
                      WriteWholeFile(p, b);
                    }}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(RecoveryTest, DamagedIndexPageFoundWhileWorkingIsRepairedAtTheNextOpen) {
  MakeGroup(200);
  auto b = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  for (size_t i = 1024; i < 2048; ++i) b[i] = 0xA5;  // page 1, header still clean
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), b);
  ASSERT_EQ(OpenWithRecovery(), 0);
  int out = -1;
  GroupDbRecord r = Blank(DBT_LOCALQS);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_FIRST, &out), 0);
  EXPECT_EQ(out, GDB_E_CORRUPT);
  // The damage marked the table for repair.
  ASSERT_EQ(DbCloseLocked(), 1);
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0005"));
  EXPECT_EQ(CountQueues(), 200);
}

TEST_F(RecoveryTest, DamagedDataFileIsDetectedAndMovedAsideBeforeTheBackupIsUsed) {
  MakeGroup(50);
  ASSERT_EQ(OpenWithRecovery(), 0);  // backup of 50 queues
  ASSERT_EQ(DbCloseLocked(), 1);
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  PutWord(b, 8, 999);  // record length
  WriteWholeFile(dat, b);
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0036"));
  EXPECT_TRUE(Reported("IGE0037"));
  EXPECT_EQ(CountQueues(), 50);
  std::vector<std::string> aside = AsideDirs();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadWholeFile(GroupDir() + aside[0] + "/LOCALQS.dat"), b) << "damaged file not kept";
}

TEST_F(RecoveryTest, MissingDataFileIsDamageAndTheBackupIsUsed) {
  MakeGroup(30);
  ASSERT_EQ(OpenWithRecovery(), 0);  // backup of 30 queues
  ASSERT_EQ(DbCloseLocked(), 1);
  ASSERT_TRUE(RemoveFile(DataFilePath(GroupDir(), DBT_LOCALQS)).ok());
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0036"));
  EXPECT_TRUE(Reported("IGE0037"));
  EXPECT_EQ(CountQueues(), 30);
  std::vector<std::string> aside = AsideDirs();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(PathExists(GroupDir() + aside[0] + "/LOCALQS.x01"));
}

// A damaged data file and no backup: the ladder goes on to the repair,
// which refuses to touch a damaged data file, and the open fails as
// corrupted with every file as it was.
TEST_F(RecoveryTest, DamagedDataFileWithoutABackupFailsAndChangesNothing) {
  MakeGroup(20);
  ASSERT_TRUE(RemoveTree(GroupDir() + "backup").ok());
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  b[12 + 3 * 840 + 32] = 'X';  // record 4 loses the end of its first field
  WriteWholeFile(dat, b);
  auto idx = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  PutWord(idx, 20, 1);  // and the table was not closed cleanly
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), idx);
  auto before = Snapshot(GroupDir());
  before.erase("dblock.db");
  testing::CapturedReports().clear();
  int out = -1;
  EXPECT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_CORRUPTED);
  EXPECT_TRUE(Reported("IGE0039"));
  EXPECT_TRUE(Reported("IGE0005"));
  EXPECT_TRUE(Reported("IGE0006"));
  auto after = Snapshot(GroupDir());
  after.erase("dblock.db");
  EXPECT_EQ(after, before);
}

TEST_F(RecoveryTest, DamagedRecordIsDetectedWhenRead) {
  MakeGroup(10);
  ASSERT_EQ(OpenWithRecovery(), 0);
  ASSERT_EQ(DbCloseLocked(), 1);
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  b[12 + 3 * 840 + 32] = 'X';  // record 4 loses the end of its first field
  WriteWholeFile(dat, b);
  ASSERT_EQ(OpenWithRecovery(), 0);  // headers are fine: it opens
  int out = -1, count = 0;
  GroupDbRecord r = Blank(DBT_LOCALQS);
  for (int ok = DbReadRecord(&r, GDB_READ_FIRST, &out); ok == 1; ok = DbReadRecord(&r, GDB_READ_NEXT, &out)) ++count;
  EXPECT_EQ(out, GDB_E_CORRUPT);
  ASSERT_EQ(DbCloseLocked(), 1);
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0036"));  // the data file is damaged: backup, files aside
  EXPECT_EQ(AsideDirs().size(), 1u);
  EXPECT_EQ(CountQueues(), 10);
}

TEST_F(RecoveryTest, IoErrorChangesNothing) {
  MakeGroup(20);
  ASSERT_EQ(OpenWithRecovery(), 0);
  ASSERT_EQ(DbCloseLocked(), 1);
  auto idx = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  PutWord(idx, 20, 1);  // also damaged, so a careless ladder would repair
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), idx);
  auto before = Snapshot(GroupDir());
  SetFaultHook([](const char* call, const std::string& path) {
    return std::string(call) == "read" && path.find("MQMGRS.dat") != std::string::npos;
  });
  testing::CapturedReports().clear();
  int out = -1;
  EXPECT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_IO_ERROR);
  SetFaultHook(nullptr);
  before.erase("dblock.db");
  auto after = Snapshot(GroupDir());
  after.erase("dblock.db");
  EXPECT_EQ(after, before);
  EXPECT_FALSE(Reported("IGE0036"));
  EXPECT_FALSE(Reported("IGE0005"));
}

TEST_F(RecoveryTest, BackupWithoutItsDirectoryCopiesNothing) {
  MakeGroup(5);
  ASSERT_TRUE(RemoveTree(GroupDir() + "backup").ok());
  int out = -1;
  EXPECT_EQ(DbBackup(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_NO_GROUP);
  EXPECT_FALSE(PathExists(GroupDir() + "backup.new"));
  EXPECT_FALSE(PathExists(GroupDir() + "backup"));
}

TEST_F(RecoveryTest, BackupKeepsThePreviousGeneration) {
  MakeGroup(5);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;
  auto first = ReadWholeFile(GroupDir() + "backup/LOCALQS.dat");
  Open();
  AddQueues(5, 9);
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;  // while open: synced first
  ASSERT_EQ(DbCloseLocked(), 1);
  EXPECT_EQ(ReadWholeFile(GroupDir() + "backup.prev/LOCALQS.dat"), first);
  EXPECT_EQ(ReadWholeFile(GroupDir() + "backup/LOCALQS.dat"), ReadWholeFile(DataFilePath(GroupDir(), DBT_LOCALQS)));
  // The backup's indexes are clean files.
  auto idx = ReadWholeFile(GroupDir() + "backup/LOCALQS.x01");
  EXPECT_EQ(testing::WordAt(idx, 20), 0u);
  EXPECT_FALSE(PathExists(GroupDir() + "backup.new"));
}

TEST_F(RecoveryTest, NoBackupAfterAFailedSyncpoint) {
  MakeGroup(5);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1);
  auto before = Snapshot(GroupDir() + "backup/");
  Open();
  AddQueues(5, 7);
  SetFaultHook([](const char* call, const std::string&) { return std::string(call) == "fsync"; });
  EXPECT_EQ(DbSyncpoint(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_IO_ERROR);
  SetFaultHook(nullptr);
  EXPECT_EQ(DbBackup(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_FAILED);
  EXPECT_EQ(Snapshot(GroupDir() + "backup/"), before);
  // A good syncpoint lifts the refusal.
  ASSERT_EQ(DbSyncpoint(group_.c_str(), &out), 1);
  EXPECT_EQ(DbBackup(group_.c_str(), &out), 1);
}

TEST_F(RecoveryTest, BackupOfAnUncleanClosedGroupIsRefused) {
  MakeGroup(5);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1);
  auto idx = ReadWholeFile(IndexFilePath(GroupDir(), DBT_MQNODES, 1));
  PutWord(idx, 20, 1);
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_MQNODES, 1), idx);
  auto before = Snapshot(GroupDir() + "backup/");
  EXPECT_EQ(DbBackup(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_FAILED);
  EXPECT_EQ(Snapshot(GroupDir() + "backup/"), before);
}

// A table found damaged while the database is open keeps its indexes marked
// in use; a copy of it is no backup, and rotating it in would push out the
// sound generations one after the other.
TEST_F(RecoveryTest, BackupWhileATableIsDamagedKeepsTheSoundGenerations) {
  MakeGroup(60);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;
  Open();
  const std::string ix = IndexFilePath(GroupDir(), DBT_LOCALQS, 1);
  auto b = ReadWholeFile(ix);
  for (size_t i = 1024; i < 2048; ++i) b[i] = 0xA5;  // page 1 under the open engine
  WriteWholeFile(ix, b);
  GroupDbRecord r = Blank(DBT_LOCALQS);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_FIRST, &out), 0);
  ASSERT_EQ(out, GDB_E_CORRUPT);
  auto current = Snapshot(GroupDir() + "backup/");
  auto prev = Snapshot(GroupDir() + "backup.prev/");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(DbBackup(group_.c_str(), &out), 0);
    EXPECT_EQ(out, GDB_RC_FAILED);
  }
  EXPECT_EQ(Snapshot(GroupDir() + "backup/"), current);
  EXPECT_EQ(Snapshot(GroupDir() + "backup.prev/"), prev);
  EXPECT_FALSE(PathExists(GroupDir() + "backup.new"));
}

TEST_F(RecoveryTest, RestoreMovesTheCurrentFilesAside) {
  MakeGroup(5);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1);
  Open();
  AddQueues(5, 8);
  ASSERT_EQ(DbRestore(group_.c_str(), &out), 0);  // refused while open
  EXPECT_EQ(out, GDB_RC_IN_USE);
  ASSERT_EQ(DbCloseLocked(), 1);
  auto current = ReadWholeFile(DataFilePath(GroupDir(), DBT_LOCALQS));
  ASSERT_EQ(DbRestore(group_.c_str(), &out), 1) << out;
  std::vector<std::string> aside = AsideDirs();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadWholeFile(GroupDir() + aside[0] + "/LOCALQS.dat"), current);
  Open();
  EXPECT_EQ(CountQueues(), 5);
}

TEST_F(RecoveryTest, RestoreWithoutABackupIs2085) {
  MakeGroup(1);
  ASSERT_TRUE(RemoveTree(GroupDir() + "backup").ok());
  int out = -1;
  EXPECT_EQ(DbRestore(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_NO_GROUP);
}

TEST_F(RecoveryTest, ReindexingLeavesADuplicatedKeyOutAndGoesOn) {
  MakeGroup(3);
  // Make record 3 a copy of record 1: two live records with one unique key.
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  std::memcpy(b.data() + 12 + 2 * 840, b.data() + 12, 840);
  WriteWholeFile(dat, b);
  std::vector<std::string> printed;
  static std::vector<std::string>* sink;
  sink = &printed;
  DbSetPrintHook([](const char* text) { sink->push_back(text); });
  int out = -1;
  ASSERT_EQ(IsamRebuildIndexes(group_.c_str(), &out), 1) << out;
  bool reported = false;
  for (const auto& l : printed) reported = reported || l.find("Indexing of LOCALQS failed with RC(-1)") == 0;
  EXPECT_TRUE(reported);
  Open();
  EXPECT_EQ(CountQueues(), 2);
  EXPECT_TRUE(HasQueue(0));
  EXPECT_TRUE(HasQueue(1));
}

std::vector<std::string>* g_printed = nullptr;
void CapturePrint(const char* text) {
  if (g_printed != nullptr) g_printed->push_back(text);
}

TEST_F(RecoveryTest, AnIndexThatCannotBeOpenedIsNamedWithItsPath) {
  MakeGroup(3);
  const std::string ix = IndexFilePath(GroupDir(), DBT_CHANNELS, 2);
  auto b = ReadWholeFile(ix);
  PutWord(b, 20, 1);
  WriteWholeFile(ix, b);
  std::vector<std::string> printed;
  g_printed = &printed;
  DbSetPrintHook(CapturePrint);
  int out = -1;
  EXPECT_EQ(DbOpen(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_CORRUPTED);
  g_printed = nullptr;
  DbSetPrintHook(testing::QuietPrint);
  EXPECT_NE(std::find(printed.begin(), printed.end(), "TABLE(\"" + ix + "\") corrupted.\n"), printed.end());
}

TEST_F(RecoveryTest, CopyToBackupTakesTheGroupDirectory) {
  MakeGroup(4);
  EXPECT_EQ(DbCopyToBackup(GroupDir().c_str()), 1);
  EXPECT_EQ(ReadWholeFile(GroupDir() + "backup/LOCALQS.dat"), ReadWholeFile(DataFilePath(GroupDir(), DBT_LOCALQS)));
  EXPECT_EQ(DbCopyToBackup((GroupDir() + "no-such-dir").c_str()), 0);
  EXPECT_EQ(DbCopyToBackup(nullptr), 0);
  // The group manager's name for the open with recovery.
  int out = -1;
  ASSERT_EQ(OpenGroupDatabase(group_.c_str(), &out), 1) << out;
  EXPECT_TRUE(Reported("IGE0035"));
}

}  // namespace
}  // namespace groupdb
