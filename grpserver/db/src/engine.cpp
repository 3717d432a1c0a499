// engine.cpp: tables over data and index files.
//
// Divisions:
//   1. File names, open order, record normalisation
//   2. Open, close, syncpoint, abandon
//   3. Referential check and reading the current record
//   4. Add, find, walks
//   5. Update, rewrite, delete, sequential walk
#include "engine.h"

#include <cstdio>
#include <cstring>

namespace groupdb {

struct Engine::TableState {
  bool open = false;
  DataFile data;
  IndexFile idx[kMaxIndexes];
  uint32_t current = 0;
};

std::string DataFilePath(const std::string& dir, int table_no) {
  char name[32];
  std::snprintf(name, sizeof name, "%.8s.dat", TableByNumber(table_no)->name);
  return dir + name;
}

std::string IndexFilePath(const std::string& dir, int table_no, int index_no) {
  char name[32];
  std::snprintf(name, sizeof name, "%.8s.x%02d", TableByNumber(table_no)->name, index_no);
  return dir + name;
}

const std::vector<int>& OpenOrder() {
  static const std::vector<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 20};
  return order;
}

Status NormalizeRecord(int table_no, const uint8_t* in, uint8_t* out) {
  const TableDef* td = TableByNumber(table_no);
  int off = 0;
  for (int i = 0; i < td->field_count; ++i) {
    int w = FieldByNumber(td->fields[i])->width;
    bool ended = false;
    for (int b = 0; b < w; ++b) {
      uint8_t c = in[off + b];
      if (c == 0) ended = true;
      out[off + b] = (ended || c < 0x20 || c == 0x7F) ? ' ' : c;
    }
    out[off + w] = 0;
    off += w + 1;
  }
  if (GetU32(out) == kDeletedMark) return Status(kBadRecord, "record begins with the deleted mark");
  return Status::Ok();
}

Engine::Engine() : tables_(new TableState[kTableCount]) {}

Engine::~Engine() { Abandon(); }

bool Engine::table_open(int t) const { return t >= 0 && t < kTableCount && tables_[t].open; }

Status Engine::Done(Status s) {
  last_error_ = s.code();
  // Damage met while working, or a change that failed part way (its index
  // pages and data file may now disagree): mark the table's indexes in use
  // on disk for good, so that no syncpoint calls them clean and the next
  // open re-indexes the table (and checks its data file).
  const bool damaged = s.code() == kCorrupt || (s.code() == kIoError && op_changes_);
  if (damaged && table_open(op_table_)) {
    for (int n = 1; n <= TableByNumber(op_table_)->index_count; ++n) (void)tables_[op_table_].idx[n - 1].MarkDamaged();
  }
  op_table_ = -1;
  op_changes_ = false;
  return s;
}

Status Engine::OpenTable(int t) {
  TableState& ts = tables_[t];
  if (ts.open) return Status::Ok();
  const std::string data_path = DataFilePath(dir_, t);
  Status s = ts.data.Open(data_path, t);
  if (!s.ok()) {
    // A missing data file is damage to the group (the recovery at open
    // turns to the backup, moving the other files aside); a file that is
    // there but cannot be opened or read is an I/O or permission error.
    if (s.code() == kIoError && !PathExists(data_path)) s = Status::Corrupt(data_path, "missing");
    return s;
  }
  const TableDef* td = TableByNumber(t);
  for (int n = 1; n <= td->index_count; ++n) {
    std::string path = IndexFilePath(dir_, t, n);
    s = ts.idx[n - 1].Open(path, IndexKeyLength(t, n));
    if (!s.ok()) {
      // A missing index file is damage that a rebuild repairs, not an I/O
      // failure of the group.
      if (s.code() == kIoError && !PathExists(path)) s = Status::Corrupt(path, "missing");
      failed_index_ = path;
      for (int i = 0; i < n; ++i) ts.idx[i].Abandon();
      ts.data.Close();
      return s;
    }
  }
  ts.open = true;
  ts.current = 0;
  ++open_count_;
  return Status::Ok();
}

void Engine::CloseTable(int t, Status* first_error) {
  TableState& ts = tables_[t];
  if (!ts.open) return;
  Status s = ts.data.Sync();
  const TableDef* td = TableByNumber(t);
  for (int n = 1; n <= td->index_count; ++n) {
    // An index is only marked clean when the data it describes is on disk.
    Status c = s.ok() ? ts.idx[n - 1].Close() : Status::Ok();
    ts.idx[n - 1].Abandon();
    if (s.ok() && !c.ok()) s = c;
  }
  ts.data.Close();
  ts.open = false;
  ts.current = 0;
  --open_count_;
  if (!s.ok() && first_error->ok()) *first_error = s;
}

Status Engine::Lock(const std::string& dir) {
  if (lock_.held()) {
    return Done(dir == dir_ ? Status::Ok() : Status(kLocked, "another group is open in this process"));
  }
  dir_ = dir;
  return Done(lock_.Acquire(LockFilePath(dir)));
}

Status Engine::LockAndOpen(const std::string& dir, const std::vector<int>& tables) {
  const bool had_lock = lock_.held();
  Status s = Lock(dir);
  if (!s.ok()) return s;
  s = OpenTables(tables);
  if (!s.ok() && !had_lock) Abandon();
  return Done(s);
}

Status Engine::OpenTables(const std::vector<int>& tables) {
  failed_index_.clear();
  if (!lock_.held()) return Done(Status(kLocked, "database lock not held"));
  for (int t : tables) {
    if (t < 0 || t >= kTableCount) return Done(Status(kCorrupt, "bad table number"));
    if (tables_[t].open) continue;
    Status s = OpenTable(t);
    if (!s.ok()) {
      for (int u : tables) {
        if (u == t) break;
        TableState& us = tables_[u];
        if (!us.open) continue;
        for (auto& ix : us.idx) ix.Abandon();
        us.data.Close();
        us.open = false;
        --open_count_;
      }
      return Done(s);
    }
  }
  return Done(Status::Ok());
}

Status Engine::Close() {
  Status first;
  for (int t = 0; t < kTableCount; ++t) CloseTable(t, &first);
  return Done(first);
}

Status Engine::CloseAndUnlock() {
  Status s = Close();
  lock_.Release();
  return Done(s);
}

void Engine::Abandon() {
  for (int t = 0; t < kTableCount; ++t) {
    TableState& ts = tables_[t];
    for (auto& ix : ts.idx) ix.Abandon();
    ts.data.Close();
    ts.open = false;
    ts.current = 0;
  }
  open_count_ = 0;
  lock_.Release();
}

Status Engine::Syncpoint() { return SyncTables(false); }

Status Engine::MakeClean() { return SyncTables(true); }

// Data files first: an index is only written and synced (or marked clean)
// once the data it describes is on disk. Files that did not change are not
// synced.
Status Engine::SyncTables(bool clean) {
  for (int t = 0; t < kTableCount; ++t) {
    TableState& ts = tables_[t];
    if (!ts.open) continue;
    Status s = ts.data.Sync();
    if (!s.ok()) return Done(s);
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      s = clean ? ts.idx[n - 1].Checkpoint() : ts.idx[n - 1].Syncpoint();
      if (!s.ok()) return Done(s);
    }
  }
  return Done(Status::Ok());
}

bool Engine::AllIndexesClean() const {
  for (int t = 0; t < kTableCount; ++t) {
    if (!tables_[t].open) continue;
    for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
      if (tables_[t].idx[n - 1].header().in_use != 0) return false;
    }
  }
  return true;
}

uint32_t Engine::current(int t) const { return table_open(t) ? tables_[t].current : 0; }
void Engine::set_current(int t, uint32_t n) {
  if (table_open(t)) tables_[t].current = n;
}
DataFile* Engine::data(int t) { return table_open(t) ? &tables_[t].data : nullptr; }
IndexFile* Engine::index(int t, int n) {
  if (!table_open(t) || n < 1 || n > TableByNumber(t)->index_count) return nullptr;
  return &tables_[t].idx[n - 1];
}

Status Engine::MarkIndexesInUse(int t) {
  for (int n = 1; n <= TableByNumber(t)->index_count; ++n) {
    Status s = tables_[t].idx[n - 1].MarkInUse();
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

// For every other table whose index 1 is one field that this table has too:
// a non-blank value of that field must exist as a key there.
Status Engine::CheckReferences(int t, const uint8_t* rec) {
  for (int u = 0; u < kTableCount; ++u) {
    if (u == t) continue;
    const TableDef* ud = TableByNumber(u);
    if (ud->indexes[0].field_count != 1) continue;
    int f = ud->indexes[0].fields[0];
    int off = FieldOffset(t, f);
    if (off < 0) continue;
    int w = FieldByNumber(f)->width;
    bool blank = true;
    for (int b = 0; b < w; ++b) blank = blank && rec[off + b] == ' ';
    if (blank) continue;
    if (!tables_[u].open) {
      Status s = OpenTable(u);  // on demand
      if (!s.ok()) return s;
    }
    uint32_t r = 0;
    Status s = tables_[u].idx[0].Locate(rec + off, &r);
    if (!s.ok()) return s;
    if (r == 0) {
      return Status(kNotFound, std::string(TableByNumber(t)->name) + ": no " + ud->name + " record for " +
                                   FieldByNumber(f)->name);
    }
  }
  return Status::Ok();
}

Status Engine::ReadCurrent(int t, uint32_t n, uint8_t* rec) {
  TableState& ts = tables_[t];
  const int len = TableByNumber(t)->record_length;
  uint8_t buf[kMaxRecordLength];
  Status s = ts.data.Read(n, buf);
  if (!s.ok()) return s;
  if (!IsWellFormedRecord(t, buf)) {
    return Status::Corrupt(ts.data.path(), "index names record " + std::to_string(n) + ", which is not a live record");
  }
  std::memcpy(rec, buf, len);
  ts.current = n;
  return Status::Ok();
}

Status Engine::Add(int t, const uint8_t* rec) {
  op_table_ = t;
  op_changes_ = true;
  if (!table_open(t)) return Done(Status(kNoCurrent, "table not open"));
  TableState& ts = tables_[t];
  const TableDef* td = TableByNumber(t);
  std::vector<uint8_t> clean(td->record_length);
  Status s = NormalizeRecord(t, rec, clean.data());
  if (!s.ok()) return Done(s);
  s = CheckReferences(t, clean.data());
  if (!s.ok()) return Done(s);
  uint8_t keys[kMaxIndexes][kMaxKeyLength];
  for (int n = 1; n <= td->index_count; ++n) BuildIndexKey(t, n, reinterpret_cast<const char*>(clean.data()),
                                                          reinterpret_cast<char*>(keys[n - 1]));
  uint32_t existing = 0;
  s = ts.idx[0].Locate(keys[0], &existing);
  if (!s.ok()) return Done(s);
  if (existing != 0) return Done(Status(kDuplicate, std::string(td->name) + ": duplicate key"));
  s = MarkIndexesInUse(t);
  if (!s.ok()) return Done(s);
  uint32_t n_rec = 0;
  s = ts.data.NewRecord(clean.data(), &n_rec);
  if (s.code() == kCorrupt) {
    // The free list is wrong (a crash between its two writes, or damage):
    // rebuild it from the records themselves and try once more.
    s = ts.data.RebuildFreeList();
    if (s.ok()) s = ts.data.NewRecord(clean.data(), &n_rec);
  }
  if (!s.ok()) return Done(s);
  for (int n = 1; n <= td->index_count; ++n) {
    bool dup = false;
    s = ts.idx[n - 1].Insert(keys[n - 1], n_rec, n == 1, &dup);
    if (s.ok() && dup) s = Status(kDuplicate, std::string(td->name) + ": duplicate key");
    if (!s.ok()) {
      // Undo: the keys already added and the record. Should an undo step
      // fail, the indexes stay marked in use and the next open rebuilds them.
      for (int i = 1; i < n; ++i) (void)ts.idx[i - 1].Delete(keys[i - 1], n_rec);
      (void)ts.data.Delete(n_rec);
      return Done(s);
    }
  }
  return Done(Status::Ok());
}

Status Engine::Find(int t, int n, const uint8_t* key, uint8_t* rec) {
  op_table_ = t;
  IndexFile* ix = index(t, n);
  if (ix == nullptr) return Done(Status(kNotFound, "no such table or index"));
  uint32_t r = 0;
  Status s = ix->Locate(key, &r, n == 1);
  if (!s.ok()) return Done(s);
  if (r == 0) return Done(Status(kNotFound, "key not found"));
  return Done(ReadCurrent(t, r, rec));
}

Status Engine::Exists(int t, int n, const uint8_t* key) {
  op_table_ = t;
  IndexFile* ix = index(t, n);
  if (ix == nullptr) return Done(Status(kNotFound, "no such table or index"));
  uint32_t r = 0;
  Status s = ix->Locate(key, &r);
  if (!s.ok()) return Done(s);
  return Done(r == 0 ? Status(kNotFound, "key not found") : Status::Ok());
}

Status Engine::Walk(int t, int n, WalkStep step, uint8_t* rec) {
  op_table_ = t;
  const bool backward = step == WalkStep::kLast || step == WalkStep::kPrev;
  IndexFile* ix = index(t, n);
  if (ix == nullptr) return Done(Status(backward ? kBegin : kEnd, "no such table or index"));
  uint32_t r = 0;
  Status s;
  switch (step) {
    case WalkStep::kFirst: s = ix->First(&r); break;
    case WalkStep::kLast: s = ix->Last(&r); break;
    case WalkStep::kNext: s = ix->Next(&r); break;
    case WalkStep::kPrev: s = ix->Prev(&r); break;
  }
  if (!s.ok()) return Done(s);
  if (r == 0) return Done(Status(backward ? kBegin : kEnd, "end of index"));
  return Done(ReadCurrent(t, r, rec));
}

Status Engine::First(int t, int n, uint8_t* rec) { return Walk(t, n, WalkStep::kFirst, rec); }
Status Engine::Last(int t, int n, uint8_t* rec) { return Walk(t, n, WalkStep::kLast, rec); }
Status Engine::Next(int t, int n, uint8_t* rec) { return Walk(t, n, WalkStep::kNext, rec); }
Status Engine::Prev(int t, int n, uint8_t* rec) { return Walk(t, n, WalkStep::kPrev, rec); }

Status Engine::Update(int t, const uint8_t* rec) {
  op_table_ = t;
  op_changes_ = true;
  if (!table_open(t)) return Done(Status(kNoCurrent, "table not open"));
  TableState& ts = tables_[t];
  if (ts.current == 0) return Done(Status(kNoCurrent, "no current record"));
  const TableDef* td = TableByNumber(t);
  const uint32_t n_rec = ts.current;
  std::vector<uint8_t> clean(td->record_length), old(td->record_length);
  Status s = NormalizeRecord(t, rec, clean.data());
  if (!s.ok()) return Done(s);
  s = CheckReferences(t, clean.data());
  if (!s.ok()) return Done(s);
  s = ts.data.Read(n_rec, old.data());
  if (!s.ok()) return Done(s);
  if (!IsWellFormedRecord(t, old.data())) return Done(Status::Corrupt(ts.data.path(), "current record is not live"));
  uint8_t old_keys[kMaxIndexes][kMaxKeyLength], new_keys[kMaxIndexes][kMaxKeyLength];
  for (int n = 1; n <= td->index_count; ++n) {
    BuildIndexKey(t, n, reinterpret_cast<const char*>(old.data()), reinterpret_cast<char*>(old_keys[n - 1]));
    BuildIndexKey(t, n, reinterpret_cast<const char*>(clean.data()), reinterpret_cast<char*>(new_keys[n - 1]));
  }
  const int k1 = IndexKeyLength(t, 1);
  if (std::memcmp(old_keys[0], new_keys[0], k1) != 0) {
    // Refuse a taken unique key before any old key is removed.
    uint32_t other = 0;
    s = ts.idx[0].Locate(new_keys[0], &other);
    if (!s.ok()) return Done(s);
    if (other != 0 && other != n_rec) return Done(Status(kDuplicate, std::string(td->name) + ": duplicate key"));
  }
  s = MarkIndexesInUse(t);
  if (!s.ok()) return Done(s);
  for (int n = 1; n <= td->index_count; ++n) {
    const int k = IndexKeyLength(t, n);
    if (std::memcmp(old_keys[n - 1], new_keys[n - 1], k) == 0) continue;
    s = ts.idx[n - 1].Delete(old_keys[n - 1], n_rec);
    if (!s.ok()) return Done(s);
    bool dup = false;
    s = ts.idx[n - 1].Insert(new_keys[n - 1], n_rec, n == 1, &dup);
    if (s.ok() && dup) s = Status(kCorrupt, ts.idx[n - 1].path() + ": key appeared during update");
    if (!s.ok()) return Done(s);
  }
  return Done(ts.data.Write(n_rec, clean.data()));
}

Status Engine::Rewrite(int t, const uint8_t* rec) {
  op_table_ = t;
  op_changes_ = true;
  if (!table_open(t)) return Done(Status(kNoCurrent, "table not open"));
  TableState& ts = tables_[t];
  if (ts.current == 0) return Done(Status(kNoCurrent, "no current record"));
  const TableDef* td = TableByNumber(t);
  std::vector<uint8_t> clean(td->record_length), old(td->record_length);
  Status s = NormalizeRecord(t, rec, clean.data());
  if (!s.ok()) return Done(s);
  s = ts.data.Read(ts.current, old.data());
  if (!s.ok()) return Done(s);
  // A rewrite that changes a key field would leave the indexes pointing at
  // a record that no longer carries their key: re-key it instead.
  uint8_t a[kMaxKeyLength], b[kMaxKeyLength];
  for (int n = 1; n <= td->index_count; ++n) {
    int k = BuildIndexKey(t, n, reinterpret_cast<const char*>(old.data()), reinterpret_cast<char*>(a));
    BuildIndexKey(t, n, reinterpret_cast<const char*>(clean.data()), reinterpret_cast<char*>(b));
    if (std::memcmp(a, b, k) != 0) return Update(t, rec);
  }
  return Done(ts.data.Write(ts.current, clean.data()));
}

Status Engine::Delete(int t) {
  op_table_ = t;
  op_changes_ = true;
  if (!table_open(t)) return Done(Status(kNoCurrent, "table not open"));
  TableState& ts = tables_[t];
  if (ts.current == 0) return Done(Status(kNoCurrent, "no current record"));
  const TableDef* td = TableByNumber(t);
  const uint32_t n_rec = ts.current;
  std::vector<uint8_t> old(td->record_length);
  Status s = ts.data.Read(n_rec, old.data());
  if (!s.ok()) return Done(s);
  if (!IsWellFormedRecord(t, old.data())) return Done(Status::Corrupt(ts.data.path(), "current record is not live"));
  s = MarkIndexesInUse(t);
  if (!s.ok()) return Done(s);
  for (int n = 1; n <= td->index_count; ++n) {
    uint8_t key[kMaxKeyLength];
    BuildIndexKey(t, n, reinterpret_cast<const char*>(old.data()), reinterpret_cast<char*>(key));
    s = ts.idx[n - 1].Delete(key, n_rec);
    if (!s.ok()) return Done(s);
  }
  s = ts.data.Delete(n_rec);
  if (!s.ok()) return Done(s);
  ts.current = 0;
  return Done(s);
}

Status Engine::SeqNext(int t, uint8_t* rec) {
  op_table_ = t;
  if (!table_open(t)) return Done(Status(kEnd, "table not open"));
  TableState& ts = tables_[t];
  const int len = TableByNumber(t)->record_length;
  std::vector<uint8_t> buf(len);
  for (uint32_t n = ts.current + 1; n < ts.data.header().next_record; ++n) {
    Status s = ts.data.Read(n, buf.data());
    if (!s.ok()) return Done(s);
    if (GetU32(buf.data()) == kDeletedMark) continue;
    ts.current = n;
    std::memcpy(rec, buf.data(), len);
    return Done(Status::Ok());
  }
  return Done(Status(kEnd, "past the last record"));
}

}  // namespace groupdb
