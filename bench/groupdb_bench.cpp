// groupdb_bench: the group database against SQLite on the same queue
// records (LOCALQS, 840 bytes), both measured in this process, interleaved
// in rounds: add, lookup by the unique key (index 1) and an ordered walk of
// the whole table along it. Both give the same durability: every operation
// reaches the operating system before it returns (a killed process loses
// nothing) and nothing is synced to disk until the round ends with a sync
// (our syncpoint; for SQLite, in WAL mode with synchronous=OFF and one
// transaction per operation, a full checkpoint and then an fsync of its
// database and WAL files). Prepared statements for SQLite; its key columns
// hold the same bytes as our keys (each field at full width, space padded),
// its row the same 840-byte record.
//
// Each phase runs kRounds rounds; in each, both engines do the same work
// (who goes first alternates) and the round's ratio is SQLite's time over
// ours: our rate as a multiple of SQLite's (above 1: we are faster). The
// counters give the minimum and median of the ratios per phase; the table
// printed at the end lists every round. Then one add followed by a
// syncpoint is repeated and the syncs it costs are counted (the first from
// freshly opened, clean indexes; then steady state).
//
// 100,000 records by default; GROUPDB_BENCH_RECORDS sets another count.
// Fixed seed; every phase checks its results, so a fast wrong answer fails
// the run.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file_util.h"
#include "groupdb/groupdb.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kNodes = 100;
constexpr int kQmgrs = 10;

struct Names {
  std::string node, qmgr, queue;
};

Names NamesOf(int i) {
  char q[48];
  std::snprintf(q, sizeof q, "APP.QUEUE.%08d", i);
  return {"NODE" + std::to_string(i % kNodes), "QM" + std::to_string((i / kNodes) % kQmgrs), q};
}

GroupDbRecord QueueRecord(int i, int depth) {
  GroupDbRecord r;
  r.Table = DBT_LOCALQS;
  DbClearRecord(&r);
  Names n = NamesOf(i);
  DbSetField(&r, DBF_MANAGER_NAME, "BENCH");
  DbSetField(&r, DBF_MQNODE_NAME, n.node.c_str());
  DbSetField(&r, DBF_MQMGR_NAME, n.qmgr.c_str());
  DbSetField(&r, DBF_LOCAL_Q_NAME, n.queue.c_str());
  DbSetField(&r, DBF_LOCAL_Q_DESCRIPTION, "benchmark queue");
  DbSetFieldNumber(&r, DBF_LOCAL_Q_MAX_DEPTH, 5000);
  DbSetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, depth);
  return r;
}

void Die(const char* what) {
  std::fprintf(stderr, "groupdb_bench: %s\n", what);
  std::exit(1);
}

void Check(bool ok, const char* what) {
  if (!ok) Die(what);
}

class SqliteQueues {
 public:
  explicit SqliteQueues(const std::string& path) : path_(path) {
    Check(sqlite3_open(path.c_str(), &db_) == SQLITE_OK, "sqlite3_open");
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE localqs(manager TEXT, node TEXT, qmgr TEXT, queue TEXT, rec BLOB,"
         " PRIMARY KEY(manager, node, qmgr, queue))");
    Exec("CREATE INDEX localqs2 ON localqs(node, qmgr)");
    insert_ = Prepare("INSERT INTO localqs VALUES(?1, ?2, ?3, ?4, ?5)");
    find1_ = Prepare("SELECT rec FROM localqs WHERE manager=?1 AND node=?2 AND qmgr=?3 AND queue=?4");
    find2_ = Prepare("SELECT rec FROM localqs WHERE node=?1 AND qmgr=?2 ORDER BY node, qmgr LIMIT 1");
    update_ = Prepare("UPDATE localqs SET rec=?5 WHERE manager=?1 AND node=?2 AND qmgr=?3 AND queue=?4");
    delete_ = Prepare("DELETE FROM localqs WHERE manager=?1 AND node=?2 AND qmgr=?3 AND queue=?4");
    walk_ = Prepare("SELECT rec FROM localqs ORDER BY manager, node, qmgr, queue");
  }
  ~SqliteQueues() {
    for (sqlite3_stmt* s : {insert_, find1_, find2_, update_, delete_, walk_}) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  void Exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) Die(err ? err : sql);
  }
  void Checkpoint() {
    Check(sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr) == SQLITE_OK,
          "checkpoint");
    for (const std::string& p : {path_, path_ + "-wal"}) {
      int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
      Check(fd >= 0 && fsync(fd) == 0, "fsync of the SQLite files");
      close(fd);
    }
  }
  void Add(const GroupDbRecord& r) { Run(insert_, r, &r, SQLITE_DONE); }
  // The finds take a record holding the key fields and receive the record.
  bool Find1(GroupDbRecord* r) { return Read(find1_, GroupDbRecord(*r), true, r); }
  bool Find2(GroupDbRecord* r) { return Read(find2_, GroupDbRecord(*r), false, r); }
  void Update(const GroupDbRecord& r) {
    Run(update_, r, &r, SQLITE_DONE);
    Check(sqlite3_changes(db_) == 1, "sqlite update");
  }
  void Delete(const GroupDbRecord& key) {
    Run(delete_, key, nullptr, SQLITE_DONE);
    Check(sqlite3_changes(db_) == 1, "sqlite delete");
  }
  // Reads every record in key order; returns how many.
  int WalkAll(GroupDbRecord* r) {
    int count = 0;
    while (sqlite3_step(walk_) == SQLITE_ROW) {
      std::memcpy(r->Data, sqlite3_column_blob(walk_, 0), DbRecordLength(DBT_LOCALQS));
      ++count;
    }
    sqlite3_reset(walk_);
    return count;
  }
  long long Count() {
    sqlite3_stmt* s = Prepare("SELECT count(*) FROM localqs");
    Check(sqlite3_step(s) == SQLITE_ROW, "count");
    long long n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return n;
  }

 private:
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) == SQLITE_OK, sql);
    return s;
  }
  // The key columns get the same bytes as our keys: each field at its full
  // width, padded with spaces.
  static void BindField(sqlite3_stmt* s, int col, const GroupDbRecord& r, int field) {
    sqlite3_bind_text(s, col, r.Data + DbFieldOffset(DBT_LOCALQS, field), DbFieldWidth(field), SQLITE_STATIC);
  }
  void Bind(sqlite3_stmt* s, const GroupDbRecord& r, bool with_manager) {
    int col = 1;
    if (with_manager) BindField(s, col++, r, DBF_MANAGER_NAME);
    BindField(s, col++, r, DBF_MQNODE_NAME);
    BindField(s, col++, r, DBF_MQMGR_NAME);
    if (with_manager) BindField(s, col++, r, DBF_LOCAL_Q_NAME);
  }
  void Run(sqlite3_stmt* s, const GroupDbRecord& key, const GroupDbRecord* r, int want) {
    Bind(s, key, true);
    if (r != nullptr) sqlite3_bind_blob(s, 5, r->Data, DbRecordLength(DBT_LOCALQS), SQLITE_STATIC);
    Check(sqlite3_step(s) == want, "sqlite step");
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  bool Read(sqlite3_stmt* s, const GroupDbRecord& key, bool with_manager, GroupDbRecord* r) {
    Bind(s, key, with_manager);
    bool found = sqlite3_step(s) == SQLITE_ROW;
    if (found) std::memcpy(r->Data, sqlite3_column_blob(s, 0), DbRecordLength(DBT_LOCALQS));
    sqlite3_reset(s);
    return found;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt *insert_ = nullptr, *find1_ = nullptr, *find2_ = nullptr, *update_ = nullptr, *delete_ = nullptr,
               *walk_ = nullptr;
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base ? base : "/tmp") + "/groupdb-bench-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  Check(mkdtemp(buf.data()) != nullptr, "mkdtemp");
  return buf.data();
}

void RemoveDir(const std::string& dir) {
  // Recursive removal, without a shell.
  std::vector<std::string> stack = {dir};
  std::vector<std::string> dirs;
  while (!stack.empty()) {
    std::string d = stack.back();
    stack.pop_back();
    dirs.push_back(d);
    if (DIR* h = opendir(d.c_str())) {
      while (dirent* e = readdir(h)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string p = d + "/" + n;
        if (e->d_type == DT_DIR) {
          stack.push_back(p);
        } else {
          unlink(p.c_str());
        }
      }
      closedir(h);
    }
  }
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) rmdir(it->c_str());
}

constexpr int kRounds = 5;

struct PhaseRatios {
  const char* name;
  std::vector<double> ratio;  // per round: SQLite's time / ours
  double Min() const { return *std::min_element(ratio.begin(), ratio.end()); }
  double Median() const {
    std::vector<double> r = ratio;
    std::sort(r.begin(), r.end());
    return r.size() % 2 ? r[r.size() / 2] : (r[r.size() / 2 - 1] + r[r.size() / 2]) / 2;
  }
};

// Times ours and theirs once each, in an order that alternates by round.
template <typename Ours, typename Theirs>
void Round(int round, PhaseRatios* phase, Ours&& ours, Theirs&& theirs) {
  double t_ours = 0, t_theirs = 0;
  auto time = [](auto&& body) {
    auto t0 = Clock::now();
    body();
    return Seconds(t0, Clock::now());
  };
  if (round % 2 == 0) {
    t_ours = time(ours);
    t_theirs = time(theirs);
  } else {
    t_theirs = time(theirs);
    t_ours = time(ours);
  }
  phase->ratio.push_back(t_theirs / t_ours);
}

void BM_QueueRecords(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(20261210);
  for (auto _ : state) {
    const std::string root = MakeTempDir();
    Check(mkdir((root + "/groups").c_str(), 0700) == 0 && mkdir((root + "/groups/BENCH").c_str(), 0700) == 0,
          "mkdir");
    DbSetInstallDir(root.c_str());
    DbSetPrintHook([](const char*) {});
    int out = 0;
    Check(DbOpen("BENCH", &out) == 1, "DbOpen");
    GroupDbRecord m;
    m.Table = DBT_MANAGERS;
    DbClearRecord(&m);
    DbSetField(&m, DBF_MANAGER_NAME, "BENCH");
    Check(DbWriteRecord(&m, GDB_WRITE_ADD, &out) == 1, "add group record");
    Check(DbSyncpoint("BENCH", &out) == 1, "syncpoint");
    SqliteQueues lite(root + "/bench.sqlite");

    // Records are added in random order.
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    PhaseRatios add{"add", {}}, lookup{"lookup", {}}, walk{"walk", {}};
    GroupDbRecord r;
    for (int round = 0; round < kRounds; ++round) {
      const int from = n * round / kRounds, to = n * (round + 1) / kRounds;
      Round(
          round, &add,
          [&] {
            for (int k = from; k < to; ++k) {
              r = QueueRecord(order[k], order[k]);
              Check(DbWriteRecord(&r, GDB_WRITE_ADD, &out) == 1, "add");
            }
            Check(DbSyncpoint("BENCH", &out) == 1, "syncpoint");
          },
          [&] {
            for (int k = from; k < to; ++k) lite.Add(QueueRecord(order[k], order[k]));
            lite.Checkpoint();
          });
    }
    for (int round = 0; round < kRounds; ++round) {
      std::vector<int> keys(n / kRounds);
      for (int& k : keys) k = int(rng() % unsigned(n));
      Round(
          round, &lookup,
          [&] {
            for (int i : keys) {
              r = QueueRecord(i, 0);
              Check(DbReadRecord(&r, GDB_READ_KEY, &out) == 1, "lookup");
              long long d = -1;
              Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i, "lookup value");
            }
          },
          [&] {
            for (int i : keys) {
              r = QueueRecord(i, 0);
              Check(lite.Find1(&r), "sqlite lookup");
              long long d = -1;
              Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i, "sqlite lookup value");
            }
          });
    }
    for (int round = 0; round < kRounds; ++round) {
      Round(
          round, &walk,
          [&] {
            r.Table = DBT_LOCALQS;
            int count = 0;
            for (int ok = DbReadRecord(&r, GDB_READ_FIRST, &out); ok == 1; ok = DbReadRecord(&r, GDB_READ_NEXT, &out)) {
              ++count;
            }
            Check(out == GDB_E_END && count == n, "walk");
          },
          [&] { Check(lite.WalkAll(&r) == n, "sqlite walk"); });
    }

    // Syncs of one add followed by a syncpoint: first from clean indexes
    // (after an idle syncpoint), then in steady state.
    Check(DbSyncpoint("BENCH", &out) == 1 && DbSyncpoint("BENCH", &out) == 1, "idle syncpoints");
    uint64_t first = 0, steady_max = 0;
    for (int i = 0; i < 20; ++i) {
      const uint64_t before = groupdb::SyncCount();
      r = QueueRecord(n + i, 1);
      Check(DbWriteRecord(&r, GDB_WRITE_ADD, &out) == 1, "add before syncpoint");
      Check(DbSyncpoint("BENCH", &out) == 1, "syncpoint");
      const uint64_t syncs = groupdb::SyncCount() - before;
      if (i == 0) {
        first = syncs;
      } else {
        steady_max = std::max(steady_max, syncs);
      }
    }
    Check(DbCloseLocked() == 1, "close");

    std::printf("\n%-8s", "round");
    for (int i = 0; i < kRounds; ++i) std::printf("%8d", i + 1);
    std::printf("%8s%8s   (our rate / SQLite's, %d records)\n", "min", "median", n);
    for (const PhaseRatios* p : {&add, &lookup, &walk}) {
      std::printf("%-8s", p->name);
      for (double x : p->ratio) std::printf("%8.2f", x);
      std::printf("%8.2f%8.2f\n", p->Min(), p->Median());
      state.counters[std::string(p->name) + "_min"] = p->Min();
      state.counters[std::string(p->name) + "_median"] = p->Median();
    }
    std::printf("syncs of one add + syncpoint: %llu from clean indexes, at most %llu in steady state\n\n",
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(steady_max));
    state.counters["syncs_first"] = double(first);
    state.counters["syncs_steady"] = double(steady_max);
    RemoveDir(root);
  }
}

void PrintEnvironment() {
  std::fprintf(stderr, "groupdb_bench: %ld CPUs, SQLite %s\n", sysconf(_SC_NPROCESSORS_ONLN), sqlite3_libversion());
#if !defined(__OPTIMIZE__)
  std::fprintf(stderr, "WARNING: built without optimisation; timings are not meaningful\n");
#endif
#if !defined(NDEBUG)
  std::fprintf(stderr, "WARNING: assertions are on\n");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  PrintEnvironment();
  long records = 100000;
  if (const char* env = std::getenv("GROUPDB_BENCH_RECORDS"); env != nullptr && std::atol(env) >= kRounds) {
    records = std::atol(env);
  }
  benchmark::RegisterBenchmark("QueueRecords", BM_QueueRecords)
      ->Arg(records)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
