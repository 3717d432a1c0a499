// engine.h: the table engine of the group database: the 22 tables, each a
// data file plus its index files, opened together under the group's lock,
// with keyed reads, walks, adds, updates, rewrites and deletes.
//
// Ownership: the engine owns its files and the lock; records are the
// caller's buffers (the first record-length bytes are used).
// Threads: one thread at a time; nothing here is locked.
//
// Order of writes (what makes a crash harmless):
//  1. Every index of a table is marked in use on disk (and synced) before
//     the table's data file or indexes change; Close, and a Syncpoint that
//     finds the table unchanged since the previous one, clear it.
//  2. An add checks its unique key and its references before it writes
//     anything; an update checks its new unique key before it removes any
//     old key. So a refused write changes nothing.
//  3. The data file is the truth: after a crash the indexes of a table whose
//     flag is set are rebuilt from it (RebuildIndexes), never the reverse.
#ifndef GROUPDB_ENGINE_H_
#define GROUPDB_ENGINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data_file.h"
#include "dictionary.h"
#include "file_util.h"
#include "index_file.h"

namespace groupdb {

// "%s%.8s.dat" and "%s%.8s.x%02d" with the directory ending in '/'.
std::string DataFilePath(const std::string& dir, int table_no);
std::string IndexFilePath(const std::string& dir, int table_no, int index_no);
inline std::string LockFilePath(const std::string& dir) { return dir + "dblock.db"; }

// The order in which the database opens its tables: 0 to 19, 21, 20.
const std::vector<int>& OpenOrder();

// Cleans a record before it is stored: in every field the bytes from the
// first NUL to the field's width become spaces (so a short value can never
// shorten or shift a key), control bytes become spaces, and the byte after
// the field is a NUL. kBadRecord when the result begins with 0xFFFFFFFF.
Status NormalizeRecord(int table_no, const uint8_t* in, uint8_t* out);

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Takes the lock of the directory (kLocked when another holds it), then
  // opens the tables; any failure closes what was opened and releases the
  // lock. dir ends with '/'.
  Status LockAndOpen(const std::string& dir, const std::vector<int>& tables);
  // Takes the directory's lock alone (no table opened).
  Status Lock(const std::string& dir);
  // Opens more tables of the directory already locked by this engine; on a
  // failure the tables this call opened are closed again.
  Status OpenTables(const std::vector<int>& tables);
  // Syncs and closes every table (indexes marked clean); keeps the lock.
  Status Close();
  // Close, then release the lock.
  Status CloseAndUnlock();
  // Drops every file and the lock without writing anything, as a crash
  // would (tests, and after a failed close).
  void Abandon();
  // Makes every change durable: data files synced, changed index pages
  // written. Indexes that changed stay marked in use and are not synced (a
  // crash has them rebuilt from the data file), so a busy table costs one
  // sync, that of its data file. Indexes that did not change since the
  // previous syncpoint are marked clean: what was written to them synced,
  // then the flag 0, synced.
  Status Syncpoint();
  // A syncpoint that also marks every index clean (unless damaged): for a
  // backup of the open database.
  Status MakeClean();

  bool is_open() const { return open_count_ > 0; }
  // True when every index of every open table is clean on disk (in-use flag
  // 0), as it is right after a successful Syncpoint unless damage was found
  // in a table since it was opened.
  bool AllIndexesClean() const;
  bool locked() const { return lock_.held(); }
  bool table_open(int t) const;
  const std::string& directory() const { return dir_; }
  // The path of the index file that made the last OpenTables fail, "" when
  // none did.
  const std::string& failed_index() const { return failed_index_; }
  // The error code of the last failed operation (0 after a success).
  int last_error() const { return last_error_; }

  Status Add(int t, const uint8_t* rec);
  Status Find(int t, int n, const uint8_t* key, uint8_t* rec);
  Status Exists(int t, int n, const uint8_t* key);
  Status First(int t, int n, uint8_t* rec);
  Status Last(int t, int n, uint8_t* rec);
  Status Next(int t, int n, uint8_t* rec);
  Status Prev(int t, int n, uint8_t* rec);
  Status Update(int t, const uint8_t* rec);
  Status Rewrite(int t, const uint8_t* rec);
  Status Delete(int t);
  // Reads the next live record after the current one (by record number).
  Status SeqNext(int t, uint8_t* rec);

  uint32_t current(int t) const;
  void set_current(int t, uint32_t n);
  DataFile* data(int t);
  IndexFile* index(int t, int n);

 private:
  struct TableState;
  Status OpenTable(int t);
  void CloseTable(int t, Status* first_error);
  Status CheckReferences(int t, const uint8_t* rec);
  Status ReadCurrent(int t, uint32_t n, uint8_t* rec);
  Status MarkIndexesInUse(int t);
  // A step of a walk along an index (the record layer maps its public read
  // ops, GDB_READ_*, onto these).
  enum class WalkStep { kFirst, kLast, kNext, kPrev };
  Status Walk(int t, int n, WalkStep step, uint8_t* rec);
  Status Done(Status s);
  Status SyncTables(bool clean);

  std::string dir_;
  std::string failed_index_;
  LockFile lock_;
  std::unique_ptr<TableState[]> tables_;
  int open_count_ = 0;
  int last_error_ = 0;
  int op_table_ = -1;        // table of the operation under way, for Done()
  bool op_changes_ = false;  // the operation under way writes to it
};

}  // namespace groupdb

#endif  // GROUPDB_ENGINE_H_
