// data_file.h: one table's data file: a 12-byte header (free-list head,
// next record number, record length; u32 little-endian) and fixed-length
// records numbered from 1. Format: docs/formats/group-database.md.
//
// Rules this layer keeps so that a crash never loses an acknowledged record:
//  1. The header on disk is rewritten with every add and delete, so it is
//     true after every completed call (not only after a clean close).
//  2. A new record beyond the end is written before the header that counts
//     it; a reused free slot is unlinked (header) before it is overwritten.
//     A crash between the two leaves at worst a slot that no list holds,
//     which a repair (ScanDataFile) gives back to the free list.
//  3. A free-list slot is reused only after reading it back and finding a
//     deleted record with an in-range link; anything else is corruption,
//     reported, never overwritten.
//  4. Every record number, header word and link read from disk is checked
//     before use.
#ifndef GROUPDB_DATA_FILE_H_
#define GROUPDB_DATA_FILE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "file_util.h"

namespace groupdb {

constexpr uint32_t kDeletedMark = 0xFFFFFFFFu;
constexpr int kDataHeaderSize = 12;

struct DataHeader {
  uint32_t free_head = 0;
  uint32_t next_record = 1;
  uint32_t record_length = 0;
};

// True when the record is the deleted form: first word 0xFFFFFFFF, second
// word the link, every other byte 0.
bool IsDeletedRecord(const uint8_t* rec, int length);
// True when a live record of the table has a NUL after every field and
// does not begin with the deleted mark. Says nothing about the text itself.
bool IsWellFormedRecord(int table_no, const uint8_t* rec);

class DataFile {
 public:
  DataFile();
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;
  // Writes a new empty data file (header 0, 1, record_length), synced.
  static Status CreateEmpty(const std::string& path, uint32_t record_length);

  // Opens an existing file and checks its header against the file size and
  // the table's record length, and walks the free list (bounded by the
  // record count): kCorrupt when any of it is wrong, kIoError when the file
  // cannot be opened or read.
  Status Open(const std::string& path, int table_no);
  // Opens without walking the free list (a repair rebuilds it).
  Status OpenForRepair(const std::string& path, int table_no);
  void Close();
  bool is_open() const { return file_.is_open(); }

  const DataHeader& header() const { return header_; }
  const std::string& path() const { return file_.path(); }

  // Reads record n (1 <= n < next); kCorrupt when n is out of range.
  Status Read(uint32_t n, uint8_t* buf);
  // Writes record n over a live record (1 <= n < next).
  Status Write(uint32_t n, const uint8_t* buf);
  // Stores a new record and returns its number.
  Status NewRecord(const uint8_t* buf, uint32_t* n);
  // Turns live record n into a deleted record at the head of the free list.
  // kNotFound when it is deleted already.
  Status Delete(uint32_t n);
  // Syncs the file when something was written since the last sync.
  Status Sync();

  // Replaces the free list by every deleted record of the file (the highest
  // number at the head), rewriting each in its clean deleted form.
  Status RebuildFreeList();

 private:
  Status WriteHeader();
  // Every write goes through here: to the file at once, and into the
  // cached blocks it touches.
  Status WriteBytes(uint64_t offset, const uint8_t* buf, size_t n);
  Status WriteLastPageFirst(uint64_t offset, const uint8_t* buf, size_t n);
  // Read cache of the file in blocks (see data_file.cpp).
  struct Block;
  Status ReadBytes(uint64_t offset, uint8_t* buf, size_t n);
  // The cached block, read from the file as far as it holds it (unless
  // read is false: a block an append fills).
  Status LoadBlock(uint64_t block_no, Block** block, bool read = true);
  void DropCache();
  Status OpenChecked(const std::string& path, int table_no, bool walk_free_list);

  File file_;
  DataHeader header_;
  int table_no_ = -1;
  int length_ = 0;
  uint64_t file_size_ = 0;
  std::vector<std::unique_ptr<Block>> blocks_;  // by block number
  std::deque<uint64_t> resident_;               // cached blocks, oldest first
};

// The bytes of data files all open data files may keep in memory together
// (128 MB by default).
void SetDataCacheBudget(size_t bytes);

// Result of reading a whole data file record by record.
struct DataScan {
  DataHeader header;
  uint32_t live = 0;
  uint32_t deleted = 0;
  bool header_ok = false;      // length, next and file size agree
  bool records_ok = false;     // every record is live and well formed or deleted
  bool free_list_ok = false;   // the chain holds exactly the deleted records
  std::string problem;         // first problem found, for messages
};

// Reads the file without changing it. kIoError when it cannot be read; the
// findings are in *scan otherwise.
Status ScanDataFile(const std::string& path, int table_no, DataScan* scan);

}  // namespace groupdb

#endif  // GROUPDB_DATA_FILE_H_
