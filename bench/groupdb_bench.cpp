// groupdb_bench: the group database against SQLite on the same queue
// records (LOCALQS, 840 bytes), measured in the same run: add, find by
// index 1 (the unique key) and by index 2 (node and queue manager), update
// and delete. Both give the same durability: every operation reaches the
// operating system before it returns (a killed process loses nothing) and
// nothing is synced to disk until the phase ends with a sync (our
// syncpoint; for SQLite, in WAL mode with synchronous=OFF and one
// transaction per operation, a full checkpoint and then an fsync of its
// database and WAL files). (With synchronous=NORMAL its automatic
// checkpoints would also sync in the middle of a phase, which ours never
// does.) Prepared statements for SQLite; its key columns hold the same bytes
// as our keys (each field at full width, space padded), its row the same
// 840-byte record, and its updates and deletes find and check the record
// first, as ours do.
//
// Counters: <phase>_us is microseconds per operation of our engine,
// <phase>_sqlite_us SQLite's, <phase>_ratio ours / SQLite (below 1: we are
// faster). Fixed seed; every phase checks its results, so a fast wrong
// answer fails the run.
//
// 10,000 records by default; GROUPDB_BENCH_LARGE=1 adds 1,000,000 (about
// 2 GB of disk in $TMPDIR and some minutes).
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
  }
  ~SqliteQueues() {
    for (sqlite3_stmt* s : {insert_, find1_, find2_, update_, delete_}) sqlite3_finalize(s);
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
  sqlite3_stmt *insert_ = nullptr, *find1_ = nullptr, *find2_ = nullptr, *update_ = nullptr, *delete_ = nullptr;
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

void BM_QueueRecords(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(20261210);
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  for (auto _ : state) {
    const std::string root = MakeTempDir();
    Check(mkdir((root + "/groups").c_str(), 0755) == 0 && mkdir((root + "/groups/BENCH").c_str(), 0755) == 0,
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
    SqliteQueues lite(root + "/bench.sqlite");

    struct Phase {
      const char* name;
      double ours = 0, sqlite = 0;
    } phases[] = {{"add"}, {"find1"}, {"find2"}, {"update"}, {"delete"}};
    GroupDbRecord r;
    auto time_ours = [&](Phase& p, auto&& body) {
      std::shuffle(order.begin(), order.end(), rng);
      auto t0 = Clock::now();
      for (int i : order) body(i);
      Check(DbSyncpoint("BENCH", &out) == 1, "syncpoint");
      p.ours = Seconds(t0, Clock::now());
    };
    auto time_lite = [&](Phase& p, auto&& body) {
      auto t0 = Clock::now();
      for (int i : order) body(i);
      lite.Checkpoint();
      p.sqlite = Seconds(t0, Clock::now());
    };

    // add
    time_ours(phases[0], [&](int i) {
      r = QueueRecord(i, i);
      Check(DbWriteRecord(&r, GDB_WRITE_ADD, &out) == 1, "add");
    });
    time_lite(phases[0], [&](int i) { lite.Add(QueueRecord(i, i)); });
    // find by index 1
    time_ours(phases[1], [&](int i) {
      r = QueueRecord(i, 0);
      Check(DbReadRecord(&r, GDB_READ_KEY, &out) == 1, "find1");
      long long d = -1;
      Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i, "find1 value");
    });
    time_lite(phases[1], [&](int i) {
      r = QueueRecord(i, 0);
      Check(lite.Find1(&r), "sqlite find1");
      long long d = -1;
      Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i, "sqlite find1 value");
    });
    // find by index 2 (node and queue manager): the first record of that
    // queue manager.
    time_ours(phases[2], [&](int i) {
      r = QueueRecord(i, 0);
      Check(DbReadRecord(&r, GDB_READ_SECONDARY, &out) == 1, "find2");
      char node[64];
      DbGetField(&r, DBF_MQNODE_NAME, node, sizeof node);
      Check(NamesOf(i).node == node, "find2 value");
    });
    time_lite(phases[2], [&](int i) {
      r = QueueRecord(i, 0);
      Check(lite.Find2(&r), "sqlite find2");
      char node[64];
      DbGetField(&r, DBF_MQNODE_NAME, node, sizeof node);
      Check(NamesOf(i).node == node, "sqlite find2 value");
    });
    // update: find, change a field, write back (re-keyed update)
    time_ours(phases[3], [&](int i) {
      r = QueueRecord(i, 0);
      Check(DbReadRecord(&r, GDB_READ_KEY, &out) == 1, "update find");
      DbSetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, i + 1);
      Check(DbWriteRecord(&r, GDB_WRITE_UPDATE, &out) == 1, "update");
    });
    time_lite(phases[3], [&](int i) { lite.Update(QueueRecord(i, i + 1)); });
    // delete: find, delete
    time_ours(phases[4], [&](int i) {
      r = QueueRecord(i, 0);
      Check(DbReadRecord(&r, GDB_READ_KEY, &out) == 1, "delete find");
      long long d = -1;
      Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i + 1, "updated value");
      Check(DbDeleteRecord(DBT_LOCALQS, &out) == 1, "delete");
    });
    time_lite(phases[4], [&](int i) {
      r = QueueRecord(i, 0);
      Check(lite.Find1(&r), "sqlite delete find");
      long long d = -1;
      Check(DbGetFieldNumber(&r, DBF_LOCAL_Q_DEPTH, &d) == 1 && d == i + 1, "sqlite updated value");
      lite.Delete(r);
    });
    r.Table = DBT_LOCALQS;
    Check(DbReadRecord(&r, GDB_READ_FIRST, &out) == 0 && out == GDB_E_END, "table not empty after deletes");
    Check(lite.Count() == 0, "sqlite table not empty after deletes");

    Check(DbCloseLocked() == 1, "close");
    for (const Phase& p : phases) {
      std::string name = p.name;
      state.counters[name + "_us"] = 1e6 * p.ours / n;
      state.counters[name + "_sqlite_us"] = 1e6 * p.sqlite / n;
      state.counters[name + "_ratio"] = p.ours / p.sqlite;
    }
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
  auto* b = benchmark::RegisterBenchmark("QueueRecords", BM_QueueRecords)->Arg(10000);
  if (const char* large = std::getenv("GROUPDB_BENCH_LARGE"); large != nullptr && *large != '0') b->Arg(1000000);
  b->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
