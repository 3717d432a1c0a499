// Crash safety: a child process adds, updates and deletes records and is
// killed with SIGKILL at a random moment; on reopen every acknowledged
// change is there, findable through every index, and the database recovers
// by re-indexing its current data, never by falling back to the backup.
// Rounds repeat on the same group for a bounded time. Prints its seed; set
// GROUPDB_SEED to repeat a run.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>

#include "data_file.h"
#include "db_fixture.h"
#include "dictionary.h"
#include "engine.h"
#include "global_db.h"

namespace groupdb {
namespace {

constexpr int kT = DBT_LOCALQS;

// One message per operation: phase 0 before it starts, 1 once acknowledged.
struct Note {
  int32_t phase;
  int32_t op;  // 0 add, 1 update, 2 delete
  int32_t item;
  int32_t value;
};

std::string QueueName(int round, int item) { return "R" + std::to_string(round) + ".Q" + std::to_string(item); }

GroupDbRecord QueueRecord(int round, int item, int value) {
  GroupDbRecord r;
  r.Table = kT;
  DbClearRecord(&r);
  DbSetField(&r, DBF_MANAGER_NAME, "M1");
  DbSetField(&r, DBF_MQNODE_NAME, item % 2 ? "NODE.ODD" : "NODE.EVEN");
  DbSetField(&r, DBF_MQMGR_NAME, "QM1");
  DbSetField(&r, DBF_LOCAL_Q_NAME, QueueName(round, item).c_str());
  DbSetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, value);
  return r;
}

bool WriteNote(int fd, const Note& n) { return write(fd, &n, sizeof n) == sizeof n; }

// The child: works until it is killed.
[[noreturn]] void RunChild(const std::string& group, int round, uint64_t seed, int fd) {
  Global().engine.Abandon();  // a fresh process holds nothing of the parent's
  int out = 0;
  if (DbOpen(group.c_str(), &out) != 1) _exit(3);
  std::mt19937_64 rng(seed);
  std::vector<int> live;
  for (int op_no = 0, next_item = 0; op_no < 200000; ++op_no) {
    int kind = live.empty() ? 0 : int(rng() % 10);
    Note n{0, 0, 0, int32_t(rng() % 100000)};
    size_t pick = live.empty() ? 0 : rng() % live.size();
    if (kind < 6) {
      n.op = 0;
      n.item = next_item++;
    } else if (kind < 8) {
      n.op = 1;
      n.item = live[pick];
    } else {
      n.op = 2;
      n.item = live[pick];
    }
    if (!WriteNote(fd, n)) _exit(4);
    int ok = 0;
    if (n.op == 0) {
      GroupDbRecord r = QueueRecord(round, n.item, n.value);
      ok = DbWriteRecord(&r, GDB_WRITE_ADD, &out);
      live.push_back(n.item);
    } else {
      GroupDbRecord r = QueueRecord(round, n.item, 0);
      ok = DbReadRecord(&r, GDB_READ_KEY, &out);
      if (ok && n.op == 1) {
        DbSetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, n.value);
        ok = DbWriteRecord(&r, GDB_WRITE_UPDATE, &out);
      } else if (ok) {
        ok = DbDeleteRecord(kT, &out);
        live.erase(live.begin() + long(pick));
      }
    }
    if (!ok) _exit(5);
    n.phase = 1;
    if (!WriteNote(fd, n)) _exit(4);
    if (op_no % 37 == 36 && DbSyncpoint(group.c_str(), &out) != 1) _exit(6);
  }
  _exit(0);
}

// Runs with a page cache that holds every page until the syncpoint, and
// with one of a few pages, whose changed pages reach the file (while the
// index is marked in use) at any moment.
class CrashTest : public testing::DbFixture, public ::testing::WithParamInterface<size_t> {
 protected:
  void TearDown() override {
    SetIndexCacheBudget(size_t(64) << 10);
    DbFixture::TearDown();
  }
};

TEST_P(CrashTest, KilledWriterLosesNothingAcknowledged) {
  SetIndexCacheBudget(GetParam());
  const uint64_t seed = testing::TestSeed("CrashTest");
  std::mt19937_64 rng(seed);
  Open();
  AddManager("M1");
  ASSERT_EQ(DbCloseLocked(), 1);

  // Expected state: (round, item) -> value; an in-flight change may or may
  // not have happened.
  std::map<std::pair<int, int>, int> expected;
  testing::Deadline deadline(4.0);
  int round = 0;
  for (; round < 3 || (!deadline.passed() && round < 40); ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      RunChild(group_, round, seed + round, fds[1]);
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    // Let it run for a random time, reading its notes, then kill it.
    const int run_ms = 5 + int(rng() % 120);
    testing::Deadline kill_at(run_ms / 1000.0);
    Note in_flight_note{};
    bool has_in_flight = false;
    std::vector<Note> notes;
    auto drain = [&] {
      Note n;
      ssize_t got;
      while ((got = read(fds[0], &n, sizeof n)) == sizeof n) notes.push_back(n);
    };
    while (!kill_at.passed()) {
      pollfd p{fds[0], POLLIN, 0};
      poll(&p, 1, 2);
      drain();
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    drain();
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own, status " << status;
    for (const Note& n : notes) {
      if (n.phase == 0) {
        in_flight_note = n;
        has_in_flight = true;
        continue;
      }
      has_in_flight = false;
      if (n.op == 2) {
        expected.erase({round, n.item});
      } else {
        expected[{round, n.item}] = n.value;
      }
    }

    // Reopen as the group manager does at start.
    testing::CapturedReports().clear();
    int out = -1;
    ASSERT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 1) << "round " << round << " out " << out;
    EXPECT_FALSE(testing::Reported("IGE0036")) << "fell back to the backup in round " << round;
    EXPECT_FALSE(testing::Reported("IGE0037")) << "fell back to the backup in round " << round;

    // Every acknowledged record is there with its last acknowledged value;
    // the one change under way may have happened or not.
    for (const auto& [key, value] : expected) {
      GroupDbRecord r = QueueRecord(key.first, key.second, 0);
      bool changing = has_in_flight && key.first == round && in_flight_note.item == key.second;
      int found = DbReadRecord(&r, GDB_READ_KEY, &out);
      if (changing && in_flight_note.op == 2) continue;
      ASSERT_EQ(found, 1) << "lost " << QueueName(key.first, key.second) << " in round " << round;
      long long v = -1;
      ASSERT_EQ(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &v), 1);
      if (changing && in_flight_note.op == 1) {
        ASSERT_TRUE(v == value || v == in_flight_note.value);
        expected[key] = int(v);
      } else {
        ASSERT_EQ(v, value) << QueueName(key.first, key.second);
      }
    }
    if (has_in_flight && in_flight_note.op == 0) {
      GroupDbRecord r = QueueRecord(round, in_flight_note.item, 0);
      if (DbReadRecord(&r, GDB_READ_KEY, &out) == 1) expected[{round, in_flight_note.item}] = in_flight_note.value;
    }
    if (has_in_flight && in_flight_note.op == 2) {
      GroupDbRecord r = QueueRecord(round, in_flight_note.item, 0);
      if (DbReadRecord(&r, GDB_READ_KEY, &out) != 1) expected.erase({round, in_flight_note.item});
    }
    ASSERT_EQ(DbCloseLocked(), 1);

    // Every index of the table holds exactly the keys of the live records.
    Engine e;
    ASSERT_TRUE(e.LockAndOpen(GroupDir(), OpenOrder()).ok());
    std::vector<uint8_t> rec(TableByNumber(kT)->record_length);
    std::vector<std::vector<std::pair<std::string, uint32_t>>> want(3);
    size_t live = 0;
    for (Status s = e.SeqNext(kT, rec.data()); s.ok(); s = e.SeqNext(kT, rec.data())) {
      ++live;
      for (int n = 1; n <= 2; ++n) {
        char k[kMaxKeyLength];
        int len = BuildIndexKey(kT, n, reinterpret_cast<const char*>(rec.data()), k);
        want[n].emplace_back(std::string(k, len), e.current(kT));
      }
    }
    EXPECT_EQ(live, expected.size()) << "round " << round;
    for (int n = 1; n <= 2; ++n) {
      std::vector<std::pair<std::string, uint32_t>> got;
      Status s = e.index(kT, n)->Verify(&got);
      ASSERT_TRUE(s.ok()) << s.message();
      std::sort(got.begin(), got.end());
      std::sort(want[n].begin(), want[n].end());
      ASSERT_EQ(got, want[n]) << "index " << n << " round " << round;
    }
    ASSERT_TRUE(e.CloseAndUnlock().ok());
  }
  std::printf("CrashTest: %d rounds, %zu records acknowledged and kept\n", round, expected.size());
}

// The child fills records 1..6 of the table, then deletes and re-adds the
// fifth, whose slot spans a 4 KB page boundary of the data file, until it is
// killed: a kill inside the re-adding write must never leave half a record.
[[noreturn]] void RunSlotReuser(const std::string& group, int round, int fd) {
  Global().engine.Abandon();
  int out = 0;
  if (DbOpen(group.c_str(), &out) != 1) _exit(3);
  for (int item = 0; item < 6; ++item) {
    GroupDbRecord r = QueueRecord(round, item, 1);
    if (DbWriteRecord(&r, GDB_WRITE_ADD, &out) != 1) _exit(5);
  }
  if (!WriteNote(fd, Note{1, 0, -1, 1})) _exit(4);
  for (int32_t value = 2;; ++value) {
    // The delete and the add are one change under way.
    if (!WriteNote(fd, Note{0, 0, 4, value})) _exit(4);
    GroupDbRecord r = QueueRecord(round, 4, 0);
    if (DbReadRecord(&r, GDB_READ_KEY, &out) != 1 || DbDeleteRecord(kT, &out) != 1) _exit(5);
    r = QueueRecord(round, 4, value);
    if (DbWriteRecord(&r, GDB_WRITE_ADD, &out) != 1) _exit(5);
    if (!WriteNote(fd, Note{1, 0, 4, value})) _exit(4);
  }
}

// The bytes a record is stored with.
std::vector<uint8_t> StoredImage(int round, int item, int value) {
  GroupDbRecord r = QueueRecord(round, item, value);
  std::vector<uint8_t> image(TableByNumber(kT)->record_length);
  EXPECT_TRUE(NormalizeRecord(kT, reinterpret_cast<const uint8_t*>(r.Data), image.data()).ok());
  return image;
}

class SlotReuseCrashTest : public testing::DbFixture {};

TEST_F(SlotReuseCrashTest, AKillInsideAnAddIntoAFreeSlotLeavesNoHalfRecord) {
  const uint64_t seed = testing::TestSeed("CrashTest");
  std::mt19937_64 rng(seed);
  Open();
  AddManager("M1");
  ASSERT_EQ(DbCloseLocked(), 1);
  const int length = TableByNumber(kT)->record_length;
  const uint64_t fifth = kDataHeaderSize + 4 * uint64_t(length);
  ASSERT_NE(fifth / 4096, (fifth + length - 1) / 4096) << "the fifth record must span a page boundary";

  size_t live_before = 0;
  testing::Deadline deadline(3.0);
  int round = 0;
  for (; round < 5 || (!deadline.passed() && round < 400); ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      RunSlotReuser(group_, round, fds[1]);
    }
    close(fds[1]);
    // Once the six records are in, let the child re-add for up to 2 ms.
    Note n{};
    bool ready = false;
    testing::Deadline setup(10.0);
    while (!ready && !setup.passed()) {
      pollfd p{fds[0], POLLIN, 0};
      poll(&p, 1, 10);
      ready = (p.revents & (POLLIN | POLLHUP)) != 0 && read(fds[0], &n, sizeof n) == sizeof n;
    }
    ASSERT_TRUE(ready) << "the child did not fill its records in round " << round;
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(rng() % 2000);
    while (std::chrono::steady_clock::now() < until) {
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own, status " << status;
    int acknowledged = 1, in_flight = 0;
    while (read(fds[0], &n, sizeof n) == sizeof n) {
      if (n.phase == 1) {
        acknowledged = n.value;
        in_flight = 0;
      } else {
        in_flight = n.value;
      }
    }
    close(fds[0]);

    testing::CapturedReports().clear();
    int out = -1;
    ASSERT_EQ(DbOpenWithRecovery(group_.c_str(), &out), 1) << "round " << round << " out " << out;
    EXPECT_FALSE(testing::Reported("IGE0036")) << "fell back to the backup in round " << round;
    // Every record of the round is whole: the five others as added, the
    // fifth as last added, or gone or as re-added while the kill came.
    size_t live_now = live_before;
    for (int item = 0; item < 6; ++item) {
      GroupDbRecord r = QueueRecord(round, item, 0);
      if (DbReadRecord(&r, GDB_READ_KEY, &out) != 1) {
        ASSERT_TRUE(item == 4 && in_flight != 0) << "lost item " << item << " in round " << round;
        continue;
      }
      ++live_now;
      const std::vector<uint8_t> got(reinterpret_cast<const uint8_t*>(r.Data),
                                     reinterpret_cast<const uint8_t*>(r.Data) + length);
      if (item != 4) {
        ASSERT_EQ(got, StoredImage(round, item, 1)) << "item " << item << " round " << round;
      } else {
        ASSERT_TRUE(got == StoredImage(round, 4, acknowledged) ||
                    (in_flight != 0 && got == StoredImage(round, 4, in_flight)))
            << "half a record in the reused slot in round " << round;
      }
    }
    ASSERT_EQ(DbCloseLocked(), 1);
    // No record beyond those: a half record whose key was cut shows here.
    Engine e;
    ASSERT_TRUE(e.LockAndOpen(GroupDir(), OpenOrder()).ok());
    std::vector<uint8_t> rec(length);
    size_t live = 0;
    for (Status s = e.SeqNext(kT, rec.data()); s.ok(); s = e.SeqNext(kT, rec.data())) ++live;
    ASSERT_TRUE(e.CloseAndUnlock().ok());
    ASSERT_EQ(live, live_now) << "round " << round;
    live_before = live_now;
  }
  std::printf("CrashTest: %d rounds of slot reuse\n", round);
}

INSTANTIATE_TEST_SUITE_P(CacheBudget, CrashTest, ::testing::Values(size_t(64) << 10, size_t(6)),
                         [](const auto& info) { return info.param > 6 ? std::string("large") : std::string("tiny"); });

}  // namespace
}  // namespace groupdb
