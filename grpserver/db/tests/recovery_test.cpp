// Recovery, backup, restore and re-indexing: damaged index files are
// rebuilt from the current data; a damaged data file is detected and only
// then is the backup used, after the damaged files are moved aside; an I/O
// error changes nothing; backups keep a previous generation and are never
// taken after a failed syncpoint.
#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

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
  ASSERT_EQ(OpenWithRecovery(), 0);
  auto b = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  for (size_t i = 1024; i < 2048; ++i) b[i] = 0xA5;  // page 1 under the open engine
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), b);
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

// Damage in a page of a cleanly closed index is found by the open, which
// reads every page before it backs anything up, and repaired at once.
TEST_F(RecoveryTest, DamagedIndexPageIsFoundByTheOpen) {
  MakeGroup(200);
  auto b = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  for (size_t i = 1024; i < 2048; ++i) b[i] = 0xA5;  // page 1, header still clean
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), b);
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0005"));
  EXPECT_FALSE(Reported("IGE0036"));
  EXPECT_EQ(CountQueues(), 200);
  EXPECT_EQ(ReadWholeFile(GroupDir() + "backup/LOCALQS.x01"), ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1)))
      << "the backup is of the repaired index";
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
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  b[12 + 3 * 840 + 32] = 'X';  // record 4 loses the end of its first field, under the open engine
  WriteWholeFile(dat, b);
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

// A damaged record in a cleanly closed group: the open reads every record
// before it backs up, so the damage never reaches a backup; the backup is
// restored and the damaged file set aside.
TEST_F(RecoveryTest, DamagedRecordIsFoundByTheOpenBeforeAnyBackup) {
  MakeGroup(10);
  ASSERT_EQ(OpenWithRecovery(), 0);
  ASSERT_EQ(DbCloseLocked(), 1);
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  b[12 + 3 * 840 + 32] = 'X';
  WriteWholeFile(dat, b);
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0036"));
  EXPECT_TRUE(Reported("IGE0037"));
  EXPECT_EQ(CountQueues(), 10);
  ASSERT_EQ(AsideDirs().size(), 1u);
  EXPECT_EQ(ReadWholeFile(GroupDir() + AsideDirs()[0] + "/LOCALQS.dat"), b);
  EXPECT_NE(ReadWholeFile(GroupDir() + "backup/LOCALQS.dat"), b);
}

TEST_F(RecoveryTest, IoErrorChangesNothing) {
  MakeGroup(20);
  ASSERT_EQ(OpenWithRecovery(), 0);
  ASSERT_EQ(DbCloseLocked(), 1);
  auto idx = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  PutWord(idx, 20, 1);  // also damaged, so a careless ladder would repair
  WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), idx);
  auto before = Snapshot(GroupDir());
  testing::FailCall("read", "MQMGRS.dat");
  testing::CapturedReports().clear();
  int out = -1;
  EXPECT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_IO_ERROR);
  os::DisarmFaults();
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
  testing::FailCall("fsync", "");
  EXPECT_EQ(DbSyncpoint(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_IO_ERROR);
  os::DisarmFaults();
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

// A damaged next-record word hides records the indexes still name (or
// leaves more than one record past the end): that is data-file damage, the
// backup is used and the damaged state is never backed up.
struct NextWordDamage {
  const char* what;
  uint32_t next;  // the word written over 101
};

class NextWordTest : public RecoveryTest, public ::testing::WithParamInterface<NextWordDamage> {};

TEST_P(NextWordTest, ADamagedNextRecordWordIsDataDamage) {
  MakeGroup(100);
  ASSERT_EQ(OpenWithRecovery(), 0);  // backup of 100 queues
  ASSERT_EQ(DbCloseLocked(), 1);
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto b = ReadWholeFile(dat);
  ASSERT_EQ(testing::WordAt(b, 4), 101u);
  PutWord(b, 4, GetParam().next);
  WriteWholeFile(dat, b);
  auto backup = Snapshot(GroupDir() + "backup/");
  ASSERT_EQ(OpenWithRecovery(), 0);
  EXPECT_TRUE(Reported("IGE0036")) << GetParam().what;
  EXPECT_EQ(CountQueues(), 100);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(HasQueue(i)) << i;
  ASSERT_EQ(AsideDirs().size(), 1u);
  EXPECT_EQ(ReadWholeFile(GroupDir() + AsideDirs()[0] + "/LOCALQS.dat"), b);
  ASSERT_EQ(DbCloseLocked(), 1);
  EXPECT_EQ(Snapshot(GroupDir() + "backup/"), backup) << "the damaged state was backed up";
}

INSTANTIATE_TEST_SUITE_P(Damage, NextWordTest,
                         ::testing::Values(NextWordDamage{"many_records_hidden", 20},
                                           NextWordDamage{"last_record_hidden", 100}),
                         [](const auto& info) { return std::string(info.param.what); });

// A directory that shows a group lived there (a backup, files set aside, a
// restore under way) is never made into a new, empty group.
struct HistoryCase {
  const char* what;
  const char* keep;  // what stays of the group besides the backup
  bool backup;       // the backup stays too
};

class GroupHistoryTest : public RecoveryTest, public ::testing::WithParamInterface<HistoryCase> {};

TEST_P(GroupHistoryTest, AGroupWithoutDataFilesIsNeverMadeNew) {
  MakeGroup(5);
  int out = -1;
  ASSERT_EQ(DbBackup(group_.c_str(), &out), 1) << out;
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory(GroupDir(), &names).ok());
  for (const auto& n : names) {
    if (n == "backup" && GetParam().backup) continue;
    if (n == "history") continue;
    ASSERT_TRUE(RemoveTree(GroupDir() + n).ok());
  }
  if (*GetParam().keep != '\0') {
    ASSERT_TRUE(MakeDirectory(GroupDir() + GetParam().keep).ok());
  }
  EXPECT_EQ(DbOpen(group_.c_str(), &out), 0) << GetParam().what;
  EXPECT_EQ(out, GDB_RC_CORRUPTED);
  EXPECT_FALSE(PathExists(DataFilePath(GroupDir(), DBT_LOCALQS))) << "made into a new group";
  const int rc = OpenWithRecovery();
  if (GetParam().backup) {
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(CountQueues(), 5);
  } else {
    EXPECT_EQ(rc, GDB_RC_CORRUPTED);
    EXPECT_FALSE(PathExists(DataFilePath(GroupDir(), DBT_LOCALQS)));
  }
}

INSTANTIATE_TEST_SUITE_P(History, GroupHistoryTest,
                         ::testing::Values(HistoryCase{"backup", "", true},
                                           HistoryCase{"previous_generation", "backup.prev", false},
                                           HistoryCase{"half_written_backup", "backup.new", false},
                                           HistoryCase{"files_set_aside", "aside-20261210T000000", false}),
                         [](const auto& info) { return std::string(info.param.what); });

// Restore killed before each of its file operations in turn (a child
// process that dies at once, as under kill -9): the next open completes it.
// Every time the group ends up with the backup's records, the former files
// whole in an aside directory, and a backup that still holds the group.
// The kill points are dealt out to kKillShards tests that run side by side.
constexpr int kKillShards = 6;

class RestoreKillTest : public RecoveryTest, public ::testing::WithParamInterface<int> {};

TEST_P(RestoreKillTest, RestoreKilledAtAnyFileOperationIsCompletedByTheNextOpen) {
  MakeGroup(30);
  ASSERT_EQ(OpenWithRecovery(), 0);  // backup of 30 queues
  AddQueues(30, 40);
  ASSERT_EQ(DbCloseLocked(), 1);
  const std::string dat = DataFilePath(GroupDir(), DBT_LOCALQS);
  auto damaged = ReadWholeFile(dat);
  damaged[12 + 35 * 840 + 32] = 'X';  // record 36 is damaged: the restore is due
  WriteWholeFile(dat, damaged);
  auto pristine = Snapshot(GroupDir());
  pristine.erase("dblock.db");
  const auto backup_dat = pristine.at("backup/LOCALQS.dat");
  // Only kills are simulated here, never a power cut: the syncs would take
  // minutes, and without them a kill before a sync leaves what a kill after
  // the operation before it leaves, so syncs are no kill points.
  SetSyncSkippedForTests(true);
  int kill_at = GetParam() + 1;
  for (;; kill_at += kKillShards) {
    ASSERT_TRUE(RemoveTree(GroupDir()).ok());
    ASSERT_TRUE(MakeDirectory(GroupDir()).ok());
    for (const auto& [name, bytes] : pristine) {
      if (name.find('/') != std::string::npos) (void)MakeDirectory(GroupDir() + name.substr(0, name.find('/')));
      WriteWholeFile(GroupDir() + name, bytes);
    }
    ASSERT_TRUE(MakeDirectory(GroupDir() + "history").ok());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      static int count, target;
      count = 0;
      target = kill_at;
      os::SetFaultHook([](std::string_view point, std::string_view) {
        for (const char* quiet : {"groupdb-open", "groupdb-read", "groupdb-fsync"}) {
          if (point == quiet) return os::FaultAction::kNone;
        }
        return ++count == target ? os::FaultAction::kCrash : os::FaultAction::kNone;
      });
      int rc = 0;
      _exit(DbRestore(group_.c_str(), &rc) == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 0 || code == os::kFaultCrashExitCode) << "restore failed, kill at operation " << kill_at;
    ASSERT_EQ(OpenWithRecovery(), 0) << "kill at operation " << kill_at;
    EXPECT_EQ(CountQueues(), 30) << "kill at operation " << kill_at;
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(HasQueue(i)) << i << ", kill at operation " << kill_at;
    bool kept = false;
    for (const auto& a : AsideDirs()) kept = kept || ReadWholeFile(GroupDir() + a + "/LOCALQS.dat") == damaged;
    EXPECT_TRUE(kept) << "the former files are lost, kill at operation " << kill_at;
    ASSERT_EQ(DbCloseLocked(), 1);
    EXPECT_EQ(ReadWholeFile(GroupDir() + "backup/LOCALQS.dat"), backup_dat) << "kill at operation " << kill_at;
    EXPECT_FALSE(PathExists(GroupDir() + "restore.pending"));
    if (code == 0) break;  // the restore ran to its end before operation kill_at
  }
  SetSyncSkippedForTests(false);
  std::printf("restore killed before its file operations %d, %d, ... up to %d\n", GetParam() + 1,
              GetParam() + 1 + kKillShards, kill_at - kKillShards);
  EXPECT_GT(kill_at, 100) << "the restore did fewer file operations than expected";
}

INSTANTIATE_TEST_SUITE_P(Shards, RestoreKillTest, ::testing::Range(0, kKillShards));

}  // namespace
}  // namespace groupdb
