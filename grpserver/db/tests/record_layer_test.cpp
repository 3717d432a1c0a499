// Tests of the tables and the record layer through the exported functions:
// a new group's files, record layout and field access, every result code
// from a small fixture, secondary lookups and walks, and the faults that
// the engine must not have (shifted keys, overflowing fields, updates that
// lose a record).
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "db_fixture.h"
#include "dictionary.h"
#include "engine.h"
#include "global_db.h"

namespace groupdb {
namespace {

using testing::DbFixture;
using testing::ReadWholeFile;
using testing::WordAt;

class RecordLayerTest : public DbFixture {};

TEST_F(RecordLayerTest, FirstOpenOfANewGroupCreatesEmptyFiles) {
  Open();
  for (int t = 0; t < kTableCount; ++t) {
    std::vector<uint8_t> dat = ReadWholeFile(DataFilePath(GroupDir(), t));
    ASSERT_EQ(dat.size(), 12u) << t;
    EXPECT_EQ(WordAt(dat, 0), 0u);
    EXPECT_EQ(WordAt(dat, 4), 1u);
    EXPECT_EQ(WordAt(dat, 8), uint32_t(TableByNumber(t)->record_length));
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      std::vector<uint8_t> idx = ReadWholeFile(IndexFilePath(GroupDir(), t, n));
      ASSERT_EQ(idx.size(), 1024u);
      EXPECT_EQ(WordAt(idx, 4), uint32_t(IndexKeyLength(t, n)));
    }
  }
  EXPECT_TRUE(IsDirectory(GroupDir() + "backup"));
  EXPECT_TRUE(IsDirectory(GroupDir() + "history"));
  EXPECT_TRUE(PathExists(GroupDir() + "MANAGERS.dat"));
  EXPECT_TRUE(PathExists(GroupDir() + "CHANNELS.x02"));
}

TEST(Dictionary, RecordLengthsAndKeyLengthsAreTheTables) {
  const int lengths[kTableCount] = {614, 1175, 1442, 2115, 2014, 840, 746, 620, 442, 463, 805,
                                    239, 290,  229,  1815, 312,  153, 546, 714, 355, 319, 359};
  for (int t = 0; t < kTableCount; ++t) EXPECT_EQ(DbRecordLength(t), lengths[t]) << DbTableName(t);
  EXPECT_EQ(IndexKeyLength(DBT_CLUSQMGR, 2), 244);
  EXPECT_EQ(IndexKeyLength(DBT_TASKS, 1), 24);
  EXPECT_EQ(IndexKeyLength(DBT_CHANNEVT, 3), 116);
  EXPECT_EQ(DbFieldWidth(DBF_CHANNEL_CONNECTION_NAME), 264);
  EXPECT_EQ(DbFieldKind(DBF_MANAGER_PROCESS_ID), 'Z');
  EXPECT_EQ(DbFieldByName("MQNODE_HOST_NAME"), DBF_MQNODE_HOST_NAME);
  EXPECT_EQ(DBF_COUNT, 385);
}

TEST_F(RecordLayerTest, ClearRecordBlanksEveryFieldToItsWidth) {
  GroupDbRecord r = Blank(DBT_MANAGERS);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(r.Data[i], ' ');
  EXPECT_EQ(r.Data[32], '\0');
  EXPECT_EQ(DbFieldOffset(DBT_MANAGERS, DBF_MANAGER_NODE_NAME), 33);
  for (int i = 33; i < 33 + 48; ++i) ASSERT_EQ(r.Data[i], ' ');
  EXPECT_EQ(r.Data[613], '\0');
  EXPECT_EQ(r.Data[614], '\0');  // beyond the record: zero
}

TEST_F(RecordLayerTest, OverlongValueIsCutAtTheFieldWidth) {
  GroupDbRecord r = Blank(DBT_MANAGERS);
  std::string long_name(100, 'N');
  ASSERT_EQ(DbSetField(&r, DBF_MANAGER_NAME, long_name.c_str()), 1);
  EXPECT_EQ(Get(r, DBF_MANAGER_NAME), std::string(32, 'N'));
  EXPECT_EQ(r.Data[32], '\0');
  EXPECT_EQ(Get(r, DBF_MANAGER_NODE_NAME), "");  // the next field untouched
  ASSERT_EQ(DbSetField(&r, DBF_MANAGER_DESCRIPTION, "two\nlines\t!"), 1);
  EXPECT_EQ(Get(r, DBF_MANAGER_DESCRIPTION), "two lines !");
  EXPECT_EQ(DbSetField(&r, DBF_CHANNEL_NAME, "X"), 0);  // not a MANAGERS field
}

TEST_F(RecordLayerTest, NumbersThatDoNotFitAreRefusedAndTimesStay64Bit) {
  GroupDbRecord r = Blank(DBT_MANAGERS);
  // MANAGER_START_TIME is N9: a time of 2026 has ten digits.
  ASSERT_EQ(DbSetFieldNumber(&r, DBF_MANAGER_START_TIME, 123456789), 1);
  EXPECT_EQ(DbSetFieldNumber(&r, DBF_MANAGER_START_TIME, 1796000000LL), 0);
  EXPECT_EQ(Get(r, DBF_MANAGER_START_TIME), "123456789");
  EXPECT_EQ(Get(r, DBF_MANAGER_STATE), "");
  ASSERT_EQ(DbSetFieldNumber(&r, DBF_MANAGER_LAST_UPDATED, 4102444800LL), 1);  // N12, past 2038
  long long v = 0;
  ASSERT_EQ(DbGetFieldNumber(&r, DBF_MANAGER_LAST_UPDATED, &v), 1);
  EXPECT_EQ(v, 4102444800LL);
  EXPECT_EQ(DbSetFieldNumber(&r, DBF_MANAGER_LAST_UPDATED, 1234567890123LL), 0);  // 13 digits
  EXPECT_EQ(DbGetFieldNumber(&r, DBF_MANAGER_STATE, &v), 0);  // blank
}

// Times are stored as decimal seconds when they fit the field. The group
// start time is N9, too narrow for any time after 2001-09-09: there it is
// "#" and base-36 digits (0-9, A-Z), which stay inside the field and its NUL.
// Expected texts worked out by hand.
TEST_F(RecordLayerTest, TimesFitTheirFieldsWithoutTouchingTheNext) {
  struct Case {
    int field;
    long long seconds;
    const char* text;  // nullptr: refused, the field keeps its text
  } cases[] = {
      {DBF_MANAGER_START_TIME, 0, "0"},
      {DBF_MANAGER_START_TIME, 999999999LL, "999999999"},
      {DBF_MANAGER_START_TIME, 1000000000LL, "#GJDGXS"},
      {DBF_MANAGER_START_TIME, 1796000000LL, "#TPAIGW"},
      {DBF_MANAGER_START_TIME, 4102444800LL, "#1VUHMO0"},        // 2100
      {DBF_MANAGER_START_TIME, 2821109907455LL, "#ZZZZZZZZ"},    // the most it holds
      {DBF_MANAGER_START_TIME, 2821109907456LL, nullptr},
      {DBF_MANAGER_START_TIME, -1, nullptr},
      {DBF_MANAGER_LAST_UPDATED, 1796000000LL, "1796000000"},    // N12: decimal
      {DBF_MANAGER_LAST_UPDATED, 999999999999LL, "999999999999"},
      {DBF_MANAGER_LAST_UPDATED, 1000000000000LL, "#CRE66I9S"},
      {DBF_MANAGER_STATE, 7, "7"},
      {DBF_MANAGER_STATE, 10, nullptr},                          // N1: "#" needs two places
  };
  for (const Case& c : cases) {
    GroupDbRecord r = Blank(DBT_MANAGERS);
    Set(&r, DBF_MANAGER_START_TIME, "KEEP");
    Set(&r, DBF_MANAGER_LAST_UPDATED, "KEEP");
    Set(&r, DBF_MANAGER_STATE, "K");
    GroupDbRecord before = r;
    int ok = DbSetFieldTime(&r, c.field, c.seconds);
    if (c.text == nullptr) {
      EXPECT_EQ(ok, 0) << c.seconds;
      EXPECT_EQ(std::memcmp(r.Data, before.Data, sizeof r.Data), 0) << c.seconds;
      continue;
    }
    ASSERT_EQ(ok, 1) << c.seconds;
    EXPECT_EQ(Get(r, c.field), c.text);
    long long back = -1;
    ASSERT_EQ(DbGetFieldTime(&r, c.field, &back), 1) << c.text;
    EXPECT_EQ(back, c.seconds);
    // Only the field itself changed: its NUL and the next field stay.
    const int off = DbFieldOffset(DBT_MANAGERS, c.field), w = DbFieldWidth(c.field);
    EXPECT_EQ(r.Data[off + w], '\0');
    EXPECT_EQ(std::memcmp(r.Data, before.Data, off), 0);
    EXPECT_EQ(std::memcmp(r.Data + off + w, before.Data + off + w, sizeof r.Data - off - w), 0);
  }
  // The wide form goes through a stored record unchanged.
  Open();
  GroupDbRecord m = Blank(DBT_MANAGERS);
  Set(&m, DBF_MANAGER_NAME, "G1");
  ASSERT_EQ(DbSetFieldTime(&m, DBF_MANAGER_START_TIME, 1796000000LL), 1);
  Set(&m, DBF_MANAGER_STATE, "4");
  int out = -1;
  ASSERT_EQ(DbWriteRecord(&m, GDB_WRITE_ADD, &out), 1) << out;
  GroupDbRecord back = Blank(DBT_MANAGERS);
  Set(&back, DBF_MANAGER_NAME, "G1");
  ASSERT_EQ(DbReadRecord(&back, GDB_READ_KEY, &out), 1) << out;
  long long t = 0;
  ASSERT_EQ(DbGetFieldTime(&back, DBF_MANAGER_START_TIME, &t), 1);
  EXPECT_EQ(t, 1796000000LL);
  EXPECT_EQ(Get(back, DBF_MANAGER_STATE), "4");
}

TEST_F(RecordLayerTest, TimeTextsThatAreNeitherFormAreRefused) {
  for (const char* text : {"", "   ", "#", "#abc", "#12 3", "12#", "-5", "#-5", "1x"}) {
    GroupDbRecord r = Blank(DBT_MANAGERS);
    Set(&r, DBF_MANAGER_START_TIME, text);
    long long t = 42;
    EXPECT_EQ(DbGetFieldTime(&r, DBF_MANAGER_START_TIME, &t), 0) << '"' << text << '"';
    EXPECT_EQ(t, 42) << text;
  }
}

TEST_F(RecordLayerTest, ShortKeyFieldWrittenRawIsPaddedNotShifted) {
  Open();
  AddManager("M1");
  GroupDbRecord q = Queue("M1", "NODE", "QM", "Q.A");
  // Raw write of a short node name ended by a NUL: the key must not shift.
  int off = DbFieldOffset(DBT_LOCALQS, DBF_MQNODE_NAME);
  std::memcpy(q.Data + off, "NODE\0garbage", 12);
  int out = -1;
  ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1) << out;
  GroupDbRecord f = Queue("M1", "NODE", "QM", "Q.A");
  ASSERT_EQ(DbReadRecord(&f, GDB_READ_KEY, &out), 1) << out;
  EXPECT_EQ(Get(f, DBF_MQNODE_NAME), "NODE");
  EXPECT_EQ(Get(f, DBF_LOCAL_Q_NAME), "Q.A");
  // The same raw buffer finds what it stored, by its primary and by its
  // secondary key (the lookups clean the key fields as the add did).
  GroupDbRecord raw = Queue("M1", "NODE", "QM", "Q.A");
  std::memcpy(raw.Data + off, "NODE\0garbage", 12);
  GroupDbRecord again = raw;
  ASSERT_EQ(DbReadRecord(&again, GDB_READ_KEY, &out), 1) << out;
  EXPECT_EQ(Get(again, DBF_LOCAL_Q_NAME), "Q.A");
  again = raw;
  ASSERT_EQ(DbReadRecord(&again, GDB_READ_SECONDARY, &out), 1) << out;
  EXPECT_EQ(Get(again, DBF_LOCAL_Q_NAME), "Q.A");
  char key[256];
  ASSERT_EQ(DbBuildPrimaryKey(&raw, key), 176);
  EXPECT_EQ(std::string(key + 32, 48), "NODE" + std::string(44, ' '));
}

// Every result code of the record layer from one small fixture.
TEST_F(RecordLayerTest, ResultCodes) {
  Open();
  int out = -1;
  GroupDbRecord r = Blank(DBT_LOCALQS);
  // 3 and 4: walks of an empty table.
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_FIRST, &out), 0);
  EXPECT_EQ(out, GDB_E_END);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_LAST, &out), 0);
  EXPECT_EQ(out, GDB_E_BEGIN);
  // 2: update, rewrite and delete without a current record.
  EXPECT_EQ(DbWriteRecord(&r, GDB_WRITE_UPDATE, &out), 0);
  EXPECT_EQ(out, GDB_E_NO_CURRENT);
  EXPECT_EQ(DbWriteRecord(&r, GDB_WRITE_REWRITE, &out), 0);
  EXPECT_EQ(out, GDB_E_NO_CURRENT);
  EXPECT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 0);
  EXPECT_EQ(out, GDB_E_NO_CURRENT);
  // 1: a reference to a missing MANAGERS record; a blank one is not checked.
  GroupDbRecord node = Blank(DBT_MQNODES);
  Set(&node, DBF_MANAGER_NAME, "NOSUCH");
  Set(&node, DBF_MQNODE_NAME, "N1");
  EXPECT_EQ(DbWriteRecord(&node, GDB_WRITE_ADD, &out), 0);
  EXPECT_EQ(out, GDB_E_NOT_FOUND);
  Set(&node, DBF_MANAGER_NAME, "");
  EXPECT_EQ(DbWriteRecord(&node, GDB_WRITE_ADD, &out), 1);
  // 1: a key that is not there.
  AddManager("M1");
  GroupDbRecord q = Queue("M1", "N1", "QM1", "Q1");
  ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1);
  GroupDbRecord missing = Queue("M1", "N1", "QM1", "Q2");
  EXPECT_EQ(DbReadRecord(&missing, GDB_READ_KEY, &out), 0);
  EXPECT_EQ(out, GDB_E_NOT_FOUND);
  // 5: the same key again leaves no record behind.
  EXPECT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 0);
  EXPECT_EQ(out, GDB_E_DUPLICATE);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_FIRST, &out), 1);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_NEXT, &out), 0);
  EXPECT_EQ(out, GDB_E_END);
  EXPECT_EQ(DbReadRecord(&r, GDB_READ_PREV, &out), 0);  // from the only record
  EXPECT_EQ(out, GDB_E_BEGIN);
  // Unknown op and mode: 0 with out 0.
  EXPECT_EQ(DbReadRecord(&r, 9, &out), 0);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(DbWriteRecord(&r, 7, &out), 0);
  EXPECT_EQ(out, 0);
  // 9 / 2201: the lock, from another process.
  pid_t pid = fork();
  if (pid == 0) {
    // A fresh process would not share this one's open database.
    Global().engine.Abandon();
    int child_out = 0;
    int ok = DbOpen(group_.c_str(), &child_out);
    _exit(ok == 0 && child_out == GDB_RC_IN_USE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "second opener was not refused with 2201";
  // 7 / 2101: an index file left in use.
  ASSERT_EQ(DbCloseLocked(), 1);
  std::vector<uint8_t> idx = ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1));
  testing::PutWord(idx, 20, 1);
  testing::WriteWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), idx);
  EXPECT_EQ(DbOpen(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_CORRUPTED);
  EXPECT_EQ(IndexFilePath(GroupDir(), DBT_LOCALQS, 1), GroupDir() + "LOCALQS.x01");
  // 2085: no such group; a name that would leave the groups directory.
  EXPECT_EQ(DbOpen("NOGROUP", &out), 0);
  EXPECT_EQ(out, GDB_RC_NO_GROUP);
  EXPECT_EQ(DbOpen("../GRP1", &out), 0);
  EXPECT_EQ(out, GDB_RC_NO_GROUP);
}

TEST_F(RecordLayerTest, IoErrorAtOpenIsNotCorruption) {
  Open();
  ASSERT_EQ(DbCloseLocked(), 1);
  testing::FailCall("open", "LOCALQS.dat");
  int out = -1;
  EXPECT_EQ(DbOpen(group_.c_str(), &out), 0);
  EXPECT_EQ(out, GDB_RC_IO_ERROR);
}

// An update that fails half way through its index changes (a page write
// fails) leaves the indexes out of step with the data file. No later
// syncpoint may call them clean: the next open re-indexes the table, and
// the record is found by its stored keys again.
TEST_F(RecordLayerTest, WriteErrorInTheMiddleOfAnUpdateKeepsTheTableMarkedForRepair) {
  Open();
  AddManager("M1");
  GroupDbRecord a = Queue("M1", "N1", "QM1", "Q.A");
  int out = -1;
  ASSERT_EQ(DbWriteRecord(&a, GDB_WRITE_ADD, &out), 1) << out;  // every index now in use
  GroupDbRecord r = Queue("M1", "N1", "QM1", "Q.A");
  ASSERT_EQ(DbReadRecord(&r, GDB_READ_KEY, &out), 1) << out;
  Set(&r, DBF_MQNODE_NAME, "N2");  // changes the keys of indexes 1 and 2
  // The keys change first (in the page cache), then the record's write
  // fails: the indexes and the data now disagree.
  testing::FailCall("write", "LOCALQS.dat");
  EXPECT_EQ(DbWriteRecord(&r, GDB_WRITE_UPDATE, &out), 0);
  EXPECT_EQ(out, GDB_E_IO);
  os::DisarmFaults();
  ASSERT_EQ(DbSyncpoint(group_.c_str(), &out), 1) << out;
  ASSERT_EQ(DbCloseLocked(), 1);
  EXPECT_EQ(testing::WordAt(ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 1)), 20), 1u);
  EXPECT_EQ(testing::WordAt(ReadWholeFile(IndexFilePath(GroupDir(), DBT_LOCALQS, 2)), 20), 1u);
  testing::CapturedReports().clear();
  ASSERT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 1) << out;
  EXPECT_TRUE(testing::Reported("IGE0005"));
  GroupDbRecord old_key = Queue("M1", "N1", "QM1", "Q.A");
  EXPECT_EQ(DbReadRecord(&old_key, GDB_READ_KEY, &out), 1) << out;
  GroupDbRecord by_node = Queue("M1", "N1", "QM1", "");
  ASSERT_EQ(DbReadRecord(&by_node, GDB_READ_SECONDARY, &out), 1) << out;
  EXPECT_EQ(Get(by_node, DBF_LOCAL_Q_NAME), "Q.A");
}

TEST_F(RecordLayerTest, FailedUpdateKeepsTheRecordFindable) {
  Open();
  AddManager("M1");
  int out = -1;
  GroupDbRecord a = Queue("M1", "N1", "QM1", "QA");
  GroupDbRecord b = Queue("M1", "N1", "QM1", "QB");
  ASSERT_EQ(DbWriteRecord(&a, GDB_WRITE_ADD, &out), 1);
  ASSERT_EQ(DbWriteRecord(&b, GDB_WRITE_ADD, &out), 1);
  GroupDbRecord r = Queue("M1", "N1", "QM1", "QA");
  ASSERT_EQ(DbReadRecord(&r, GDB_READ_KEY, &out), 1);
  Set(&r, DBF_LOCAL_Q_NAME, "QB");
  Set(&r, DBF_LOCAL_Q_DESCRIPTION, "changed");
  EXPECT_EQ(DbWriteRecord(&r, GDB_WRITE_UPDATE, &out), 0);
  EXPECT_EQ(out, GDB_E_DUPLICATE);
  GroupDbRecord again = Queue("M1", "N1", "QM1", "QA");
  ASSERT_EQ(DbReadRecord(&again, GDB_READ_KEY, &out), 1) << "the record was lost by the failed update";
  EXPECT_EQ(Get(again, DBF_LOCAL_Q_DESCRIPTION), "");
  // Through the secondary index too.
  GroupDbRecord sec = Queue("", "N1", "QM1", "");
  ASSERT_EQ(DbReadRecord(&sec, GDB_READ_SECONDARY, &out), 1);
  int seen = 1;
  while (DbReadRecord(&sec, GDB_READ_SECONDARY_NEXT, &out) == 1) ++seen;
  EXPECT_EQ(seen, 2);
}

TEST_F(RecordLayerTest, UpdateReKeysAndRewriteKeepsKeys) {
  Open();
  AddManager("M1");
  int out = -1;
  GroupDbRecord a = Queue("M1", "N1", "QM1", "QA");
  ASSERT_EQ(DbWriteRecord(&a, GDB_WRITE_ADD, &out), 1);
  ASSERT_EQ(DbReadRecord(&a, GDB_READ_KEY, &out), 1);
  Set(&a, DBF_LOCAL_Q_NAME, "QZ");
  ASSERT_EQ(DbWriteRecord(&a, GDB_WRITE_UPDATE, &out), 1);
  GroupDbRecord old_key = Queue("M1", "N1", "QM1", "QA");
  EXPECT_EQ(DbReadRecord(&old_key, GDB_READ_KEY, &out), 0);
  GroupDbRecord new_key = Queue("M1", "N1", "QM1", "QZ");
  ASSERT_EQ(DbReadRecord(&new_key, GDB_READ_KEY, &out), 1);
  Set(&new_key, DBF_LOCAL_Q_DEPTH, "42");
  ASSERT_EQ(DbWriteRecord(&new_key, GDB_WRITE_REWRITE, &out), 1);
  GroupDbRecord check = Queue("M1", "N1", "QM1", "QZ");
  ASSERT_EQ(DbReadRecord(&check, GDB_READ_KEY, &out), 1);
  EXPECT_EQ(Get(check, DBF_LOCAL_Q_DEPTH), "42");
  // Deleting clears the current record.
  ASSERT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 1);
  EXPECT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 0);
  EXPECT_EQ(out, GDB_E_NO_CURRENT);
}

TEST_F(RecordLayerTest, SecondaryWalkRunsOnPastTheQueueManager) {
  Open();
  AddManager("M1");
  int out = -1;
  const char* qmgrs[] = {"QM1", "QM2"};
  for (const char* qm : qmgrs) {
    for (const char* ch : {"C.B", "C.A", "C.C"}) {
      GroupDbRecord c = Blank(DBT_CHANNELS);
      Set(&c, DBF_MANAGER_NAME, "M1");
      Set(&c, DBF_MQNODE_NAME, "N1");
      Set(&c, DBF_MQMGR_NAME, qm);
      Set(&c, DBF_CHANNEL_NAME, ch);
      ASSERT_EQ(DbWriteRecord(&c, GDB_WRITE_ADD, &out), 1);
    }
  }
  GroupDbRecord c = Blank(DBT_CHANNELS);
  Set(&c, DBF_MQNODE_NAME, "N1");
  Set(&c, DBF_MQMGR_NAME, "QM1");
  ASSERT_EQ(DbReadRecord(&c, GDB_READ_SECONDARY, &out), 1);
  std::vector<std::string> seen = {Get(c, DBF_MQMGR_NAME)};
  while (DbReadRecord(&c, GDB_READ_SECONDARY_NEXT, &out) == 1) seen.push_back(Get(c, DBF_MQMGR_NAME));
  EXPECT_EQ(out, GDB_E_END);
  EXPECT_EQ(seen, (std::vector<std::string>{"QM1", "QM1", "QM1", "QM2", "QM2", "QM2"}));
}

// Removing the records of one queue manager as the walk meets them (op 5,
// then delete and op 6 until another queue manager comes) skips none. Index
// 2 of LOCALQS holds 10 keys a page: the 11th key splits the first leaf and
// sends its 6th key, here QM2's first, up as the separator, so the walk
// starts by deleting a separator.
TEST_F(RecordLayerTest, DeletingWhileWalkingByQueueManagerSkipsNothing) {
  Open();
  AddManager("M1");
  int out = -1;
  for (int i = 0; i < 11; ++i) {
    GroupDbRecord q = Queue("M1", "N1", i < 5 ? "QM1" : "QM2", "Q." + std::to_string(i));
    ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1) << out;
  }
  GroupDbRecord r = Queue("", "N1", "QM2", "");
  int deleted = 0;
  for (int ok = DbReadRecord(&r, GDB_READ_SECONDARY, &out); ok == 1 && Get(r, DBF_MQMGR_NAME) == "QM2";
       ok = DbReadRecord(&r, GDB_READ_SECONDARY_NEXT, &out)) {
    ASSERT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 1) << out;
    ++deleted;
  }
  EXPECT_EQ(deleted, 6);
  std::map<std::string, int> left;
  GroupDbRecord w = Blank(DBT_LOCALQS);
  for (int ok = DbReadRecord(&w, GDB_READ_FIRST, &out); ok == 1; ok = DbReadRecord(&w, GDB_READ_NEXT, &out)) {
    ++left[Get(w, DBF_MQMGR_NAME)];
  }
  EXPECT_EQ(left, (std::map<std::string, int>{{"QM1", 5}}));
}

TEST_F(RecordLayerTest, ClusterQueueManagerLookupUsesNodeQueueManagerAndName) {
  Open();
  AddManager("M1");
  int out = -1;
  for (const char* name : {"CQA", "CQB"}) {
    GroupDbRecord c = Blank(DBT_CLUSQMGR);
    Set(&c, DBF_MANAGER_NAME, "M1");
    Set(&c, DBF_MQNODE_NAME, "N1");
    Set(&c, DBF_MQMGR_NAME, "QM1");
    Set(&c, DBF_CLUSQMGR_NAME, name);
    Set(&c, DBF_CLUSQMGR_CLUSTER, "CL1");
    ASSERT_EQ(DbWriteRecord(&c, GDB_WRITE_ADD, &out), 1);
  }
  GroupDbRecord k = Blank(DBT_CLUSQMGR);
  Set(&k, DBF_MQNODE_NAME, "N1");
  Set(&k, DBF_MQMGR_NAME, "QM1");
  Set(&k, DBF_CLUSQMGR_NAME, "CQB");
  char key[256];
  EXPECT_EQ(DbBuildSecondaryKey(&k, key), 3);
  ASSERT_EQ(DbReadRecord(&k, GDB_READ_SECONDARY, &out), 1) << out;
  EXPECT_EQ(Get(k, DBF_CLUSQMGR_NAME), "CQB");
  EXPECT_EQ(Get(k, DBF_MANAGER_NAME), "M1");
}

TEST_F(RecordLayerTest, ClusterQueueLookupMatchesNodeAndQueueManagerAlone) {
  Open();
  AddManager("M1");
  int out = -1;
  GroupDbRecord c = Blank(DBT_CLUSTERQ);
  Set(&c, DBF_MANAGER_NAME, "M1");
  Set(&c, DBF_MQNODE_NAME, "N1");
  Set(&c, DBF_MQMGR_NAME, "QM1");
  Set(&c, DBF_CLUSTER_Q_NAME, "CQ1");
  ASSERT_EQ(DbWriteRecord(&c, GDB_WRITE_ADD, &out), 1);
  GroupDbRecord k = Blank(DBT_CLUSTERQ);
  Set(&k, DBF_MQNODE_NAME, "N1");
  Set(&k, DBF_MQMGR_NAME, "QM1");
  Set(&k, DBF_CLUSTER_Q_NAME, "OTHER");
  char key[256];
  EXPECT_EQ(DbBuildSecondaryKey(&k, key), 2);
  ASSERT_EQ(DbReadRecord(&k, GDB_READ_SECONDARY, &out), 1);
  EXPECT_EQ(Get(k, DBF_CLUSTER_Q_NAME), "CQ1");
}

TEST_F(RecordLayerTest, FindRecordPadsAShortKey) {
  Open();
  AddManager("GROUPA");
  GroupDbRecord m = Blank(DBT_MANAGERS);
  int out = -1;
  ASSERT_EQ(DbFindRecord(&m, 1, "GROUPA", &out), 1) << out;
  EXPECT_EQ(Get(m, DBF_MANAGER_NAME), "GROUPA");
  EXPECT_EQ(DbFindRecord(&m, 2, "GROUPA", &out), 0);  // MANAGERS has one index
  EXPECT_EQ(out, GDB_E_NOT_FOUND);
}

TEST_F(RecordLayerTest, RecordsSurviveCloseAndReopen) {
  Open();
  AddManager("M1");
  int out = -1;
  for (int i = 0; i < 200; ++i) {
    GroupDbRecord q = Queue("M1", "N1", "QM1", "Q" + std::to_string(i));
    ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1);
  }
  ASSERT_EQ(DbSyncpoint(group_.c_str(), &out), 1);
  ASSERT_EQ(DbCloseLocked(), 1);
  Open();
  GroupDbRecord r = Blank(DBT_LOCALQS);
  int count = 0;
  for (int ok = DbReadRecord(&r, GDB_READ_FIRST, &out); ok == 1; ok = DbReadRecord(&r, GDB_READ_NEXT, &out)) ++count;
  EXPECT_EQ(count, 200);
  EXPECT_EQ(out, GDB_E_END);
}

}  // namespace
}  // namespace groupdb

namespace groupdb {
namespace {

TEST_F(RecordLayerTest, SequentialWalkStepsOverDeletedRecords) {
  Open();
  AddManager("M1");
  int out = -1;
  for (int i = 0; i < 5; ++i) {
    GroupDbRecord q = Queue("M1", "N1", "QM1", "Q" + std::to_string(i));
    ASSERT_EQ(DbWriteRecord(&q, GDB_WRITE_ADD, &out), 1);
  }
  for (int i : {1, 3}) {
    GroupDbRecord q = Queue("M1", "N1", "QM1", "Q" + std::to_string(i));
    ASSERT_EQ(DbReadRecord(&q, GDB_READ_KEY, &out), 1);
    ASSERT_EQ(DbDeleteRecord(DBT_LOCALQS, &out), 1);
  }
  ASSERT_EQ(DbCloseLocked(), 1);
  Engine e;
  ASSERT_TRUE(e.LockAndOpen(GroupDir(), OpenOrder()).ok());
  std::vector<uint8_t> rec(TableByNumber(DBT_LOCALQS)->record_length);
  std::vector<uint32_t> numbers;
  Status s;
  while ((s = e.SeqNext(DBT_LOCALQS, rec.data())).ok()) numbers.push_back(e.current(DBT_LOCALQS));
  EXPECT_EQ(s.code(), kEnd);
  EXPECT_EQ(numbers, (std::vector<uint32_t>{1, 3, 5}));
  ASSERT_TRUE(e.CloseAndUnlock().ok());
}

}  // namespace
}  // namespace groupdb
