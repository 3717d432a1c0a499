// The order of writes and syncs behind the in-use flag, as the file layer
// sees them (its write and fsync fault points, recorded, never failed): a
// power cut between any two of them leaves every index either marked in
// use on disk (rebuilt at the next open) or clean and matching its data
// file. And what that order costs: one add followed by a syncpoint takes
// three syncs from clean indexes (the two flags, the data file) and one
// while the table is busy (the data file).
#include <string>
#include <vector>

#include "data_file.h"
#include "db_fixture.h"
#include "dictionary.h"
#include "engine.h"
#include "global_db.h"
#include "index_file.h"

namespace groupdb {
namespace {

using testing::DbFixture;
using testing::ReadWholeFile;
using testing::WordAt;

struct Event {
  std::string call;  // "write" or "fsync"
  std::string file;  // base name
  bool operator==(const Event&) const = default;
};

class SyncOrderTest : public DbFixture {
 protected:
  // Records the file layer's writes and syncs until Stop.
  void Record() {
    events_.clear();
    sync_count_ = SyncCount();
    os::SetFaultHook([this](std::string_view point, std::string_view subject) {
      for (const char* call : {"write", "fsync"}) {
        if (point == std::string(kFaultPointPrefix) + call) {
          std::string_view base = subject.substr(subject.rfind('/') + 1);
          events_.push_back({call, std::string(base)});
        }
      }
      return os::FaultAction::kNone;
    });
  }
  std::vector<Event> Stop() {
    os::DisarmFaults();
    syncs_ = SyncCount() - sync_count_;
    return events_;
  }
  static std::vector<std::string> Synced(const std::vector<Event>& ev) {
    std::vector<std::string> files;
    for (const Event& e : ev) {
      if (e.call == "fsync") files.push_back(e.file);
    }
    return files;
  }
  static std::vector<Event> Of(const std::vector<Event>& ev, const std::string& file) {
    std::vector<Event> out;
    for (const Event& e : ev) {
      if (e.file == file) out.push_back(e);
    }
    return out;
  }
  static size_t FirstIndex(const std::vector<Event>& ev, const Event& e) {
    for (size_t i = 0; i < ev.size(); ++i) {
      if (ev[i] == e) return i;
    }
    return ev.size();
  }
  uint32_t FlagOnDisk(int n) const {
    return WordAt(ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, n)), 20);
  }
  void AddQueue(const std::string& name) {
    GroupDbRecord q = Queue("M1", "N1", "QM1", name);
    int out = -1;
    ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1) << out;
  }
  void Syncpoint() {
    int out = -1;
    ASSERT_EQ(DbSyncpoint(group_.c_str(), &out), 1) << out;
  }

  std::vector<Event> events_;
  uint64_t sync_count_ = 0;
  uint64_t syncs_ = 0;
};

TEST_F(SyncOrderTest, FlagsAreSyncedBeforeTheDataAndTheTreeBeforeTheCleanMark) {
  Open();
  AddManager("M1");
  Syncpoint();  // MANAGERS changed
  Syncpoint();  // quiet: every index clean
  ASSERT_EQ(FlagOnDisk(1), 0u);
  ASSERT_EQ(FlagOnDisk(2), 0u);

  // First change from clean indexes, then a syncpoint.
  Record();
  AddQueue("Q.A");
  Syncpoint();
  std::vector<Event> ev = Stop();
  EXPECT_EQ(Synced(ev), (std::vector<std::string>{"LOCALQS.x01", "LOCALQS.x02", "LOCALQS.dat"}));
  EXPECT_EQ(syncs_, 3u);
  // Both flags are on disk before the data file is touched.
  const size_t first_data_write = FirstIndex(ev, {"write", "LOCALQS.dat"});
  ASSERT_LT(first_data_write, ev.size());
  EXPECT_LT(FirstIndex(ev, {"fsync", "LOCALQS.x01"}), first_data_write);
  EXPECT_LT(FirstIndex(ev, {"fsync", "LOCALQS.x02"}), first_data_write);
  // The pages of the tree are written after the data file is synced (so no
  // index on disk names a record the data file does not count) and stay
  // unsynced under the flag 1.
  const size_t data_sync = FirstIndex(ev, {"fsync", "LOCALQS.dat"});
  for (const char* ix : {"LOCALQS.x01", "LOCALQS.x02"}) {
    std::vector<Event> of = Of(ev, ix);
    ASSERT_GE(of.size(), 3u) << ix;  // flag write, its sync, the pages at the syncpoint
    EXPECT_EQ(of[0], (Event{"write", ix}));
    EXPECT_EQ(of[1], (Event{"fsync", ix}));
    for (size_t i = FirstIndex(ev, {"fsync", ix}) + 1; i < ev.size(); ++i) {
      if (ev[i].file == ix) {
        EXPECT_GT(i, data_sync) << ix << " written before the data file was synced";
      }
    }
  }
  EXPECT_EQ(FlagOnDisk(1), 1u);
  EXPECT_EQ(FlagOnDisk(2), 1u);

  // Busy table: the data file alone is synced.
  Record();
  AddQueue("Q.B");
  Syncpoint();
  ev = Stop();
  EXPECT_EQ(Synced(ev), (std::vector<std::string>{"LOCALQS.dat"}));
  EXPECT_EQ(syncs_, 1u);
  EXPECT_EQ(FlagOnDisk(1), 1u);

  // Quiet syncpoint: each index is synced (its tree), then its header is
  // written with the flag 0 and synced.
  Record();
  Syncpoint();
  ev = Stop();
  for (const char* ix : {"LOCALQS.x01", "LOCALQS.x02"}) {
    EXPECT_EQ(Of(ev, ix), (std::vector<Event>{{"fsync", ix}, {"write", ix}, {"fsync", ix}})) << ix;
  }
  EXPECT_EQ(syncs_, 4u);
  for (int n = 1; n <= 2; ++n) {
    EXPECT_EQ(FlagOnDisk(n), 0u) << n;
    IndexScan scan;
    ASSERT_TRUE(ScanIndexFile(IndexFilePath(GroupDir(), DBT_LOCALQS, n), IndexKeyLength(DBT_LOCALQS, n), &scan).ok());
    EXPECT_TRUE(scan.usable) << scan.problem;
    EXPECT_FALSE(scan.in_use);
    EXPECT_EQ(scan.keys, 2u) << n;
  }

  // Nothing changed: nothing is written.
  Record();
  Syncpoint();
  EXPECT_TRUE(Stop().empty());

  // A crash now (files dropped unwritten) leaves clean files: the plain open
  // takes them as they are and finds both records through both indexes.
  Global().engine.Abandon();
  Open();
  int out = -1;
  for (const char* name : {"Q.A", "Q.B"}) {
    GroupDbRecord q = Queue("M1", "N1", "QM1", name);
    EXPECT_EQ(DbReadRecord(&q, GDB_READ_KEY, &out), 1) << name;
  }
  GroupDbRecord by_node = Queue("M1", "N1", "QM1", "");
  int count = 0;
  for (int ok = DbReadRecord(&by_node, GDB_READ_SECONDARY, &out); ok == 1;
       ok = DbReadRecord(&by_node, GDB_READ_SECONDARY_NEXT, &out)) {
    ++count;
  }
  EXPECT_EQ(count, 2);
}

// Close (and a backup's clean mark) syncs what the busy syncpoints left
// unsynced before calling the indexes clean.
TEST_F(SyncOrderTest, CloseSyncsTheTreeBeforeTheCleanMark) {
  Open();
  AddManager("M1");
  AddQueue("Q.A");
  Syncpoint();
  ASSERT_EQ(FlagOnDisk(1), 1u);
  Record();
  ASSERT_EQ(DbCloseLocked(), 1);
  std::vector<Event> ev = Stop();
  for (const char* ix : {"LOCALQS.x01", "LOCALQS.x02"}) {
    EXPECT_EQ(Of(ev, ix), (std::vector<Event>{{"fsync", ix}, {"write", ix}, {"fsync", ix}})) << ix;
  }
  EXPECT_EQ(FlagOnDisk(1), 0u);
  EXPECT_EQ(FlagOnDisk(2), 0u);
}

// A clean mark whose sync fails may still have reached the file: the next
// change writes and syncs the in-use flag again instead of trusting that
// the file is still marked in use.
TEST_F(SyncOrderTest, FailedCleanMarkIsFollowedByANewInUseMark) {
  Open();
  AddManager("M1");
  AddQueue("Q.A");
  Syncpoint();
  ASSERT_EQ(FlagOnDisk(1), 1u);
  // Quiet syncpoint: the sync after the flag-0 header of the first index
  // fails (its second sync there; the first is the tree's).
  int x01_syncs = 0;
  os::SetFaultHook([&](std::string_view point, std::string_view subject) {
    if (point == std::string(kFaultPointPrefix) + "fsync" && subject.ends_with("LOCALQS.x01") &&
        ++x01_syncs == 2) {
      return os::FaultAction::kFail;
    }
    return os::FaultAction::kNone;
  });
  int out = -1;
  EXPECT_EQ(DbSyncpoint(group_.c_str(), &out), 0);
  os::DisarmFaults();
  ASSERT_EQ(x01_syncs, 2);
  EXPECT_EQ(FlagOnDisk(1), 0u) << "the failed sync's header reached the file";

  Record();
  AddQueue("Q.B");
  std::vector<Event> ev = Stop();
  const size_t first_data_write = FirstIndex(ev, {"write", "LOCALQS.dat"});
  ASSERT_LT(first_data_write, ev.size());
  EXPECT_LT(FirstIndex(ev, {"fsync", "LOCALQS.x01"}), first_data_write);
  EXPECT_EQ(FlagOnDisk(1), 1u);
}

// A record put into a free slot that spans a page boundary goes out from
// its last page back: the data file sees the header, then the tail page,
// then the head page with the deleted mark. When the last of those writes
// fails (as a kill there would leave it), the slot still reads as deleted
// with a dirty tail, never as half a record, and the repair reclaims it.
TEST_F(SyncOrderTest, RecordInAFreeSlotIsWrittenFromItsLastPageBack) {
  Open();
  AddManager("M1");
  const int length = DbRecordLength(DBT_LOCALQS);
  const uint64_t fifth = kDataHeaderSize + 4 * uint64_t(length);
  ASSERT_NE(fifth / 4096, (fifth + length - 1) / 4096) << "the fifth record must span a page boundary";
  for (int i = 0; i < 6; ++i) AddQueue("Q." + std::to_string(i));
  int out = -1;
  GroupDbRecord q = Queue("M1", "N1", "QM1", "Q.4");
  ASSERT_EQ(DbReadRecord(&q, GDB_READ_KEY, &out), 1);
  ASSERT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 1) << out;
  Syncpoint();

  Record();
  std::vector<std::string> data_writes;
  os::SetFaultHook([&](std::string_view point, std::string_view subject) {
    if (point == std::string(kFaultPointPrefix) + "write" && subject.ends_with("LOCALQS.dat")) {
      data_writes.emplace_back(subject);
      if (data_writes.size() == 3) return os::FaultAction::kFail;
    }
    return os::FaultAction::kNone;
  });
  GroupDbRecord fresh = Queue("M1", "N1", "QM1", "Q.NEW");
  EXPECT_EQ(DbWriteRecord(&fresh, GDB_WRITE_ADD, &out), 0);
  os::DisarmFaults();
  ASSERT_EQ(data_writes.size(), 3u) << "header, tail page, head page";

  // The failed write is where a kill would have come: nothing more reaches
  // the files.
  Global().engine.Abandon();
  const std::string data = DataFilePath(GroupDir(), DBT_LOCALQS);
  const std::vector<uint8_t> bytes = ReadWholeFile(data);
  ASSERT_GE(bytes.size(), fifth + length);
  EXPECT_EQ(WordAt(bytes, fifth), 0xFFFFFFFFu) << "the slot keeps its deleted mark";
  DataScan scan;
  ASSERT_TRUE(ScanDataFile(data, DBT_LOCALQS, &scan).ok());
  EXPECT_EQ(scan.problem, "deleted record 5 not zeroed");

  ASSERT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 1) << out;
  EXPECT_EQ(DbReadRecord(&fresh, GDB_READ_KEY, &out), 0);
  for (int i : {0, 1, 2, 3, 5}) {
    GroupDbRecord r = Queue("M1", "N1", "QM1", "Q." + std::to_string(i));
    EXPECT_EQ(DbReadRecord(&r, GDB_READ_KEY, &out), 1) << i;
  }
  ASSERT_EQ(DbCloseLocked(), 1);
  ASSERT_TRUE(ScanDataFile(data, DBT_LOCALQS, &scan).ok());
  EXPECT_TRUE(scan.records_ok && scan.free_list_ok) << scan.problem;
  EXPECT_EQ(scan.deleted, 1u);
}

}  // namespace
}  // namespace groupdb
