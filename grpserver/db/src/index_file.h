// index_file.h: one index file: a 1,024-byte header page and B-tree pages.
// Format: docs/formats/group-database.md ("Index file").
//
// The tree keeps every key once, in a leaf or as a separator in an inner
// page; the record number of a separator lives in the lower word of the
// leftmost leaf of its right subtree, so that walking the leaves through
// their sibling links, position 0 of each leaf included, yields every record
// number in key order.
//
// Crash rules:
//  1. Before the first change after an open or a clean mark the header is
//     written with the in-use flag 1 and synced. Changed pages stay in a
//     page cache until a syncpoint, close or eviction writes them. A
//     syncpoint writes what changed and leaves the flag at 1, without a
//     sync: a file whose flag is 1 may be anything after a crash, since it
//     is rebuilt from the data file. A syncpoint with nothing changed since
//     the previous one, and every close, syncs what was written, then
//     writes the header with the flag 0 and syncs again. So a file whose
//     flag is 0 on disk is a complete, consistent tree.
//  2. Every page read is checked (page number below the next unused page,
//     flag 0 or 1, count within bounds, links below the next unused page)
//     and every descent and walk is bounded; a failed check is kCorrupt.
//
// Not thread-safe: one thread uses all indexes (the engine's rule).
#ifndef GROUPDB_INDEX_FILE_H_
#define GROUPDB_INDEX_FILE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "file_util.h"

namespace groupdb {

constexpr int kPageSize = 1024;
constexpr int kIndexHeaderSize = 32;

struct IndexHeader {
  uint32_t root = 0;
  uint32_t key_length = 0;
  uint32_t max_keys = 0;
  uint32_t released_head = 0;
  uint32_t next_page = 1;
  uint32_t in_use = 0;
  uint32_t leftmost = 0;
  uint32_t rightmost = 0;
};

// Current position: page 0 = none; j = 0 is the key before the page's first
// entry (its record number is the page's lower word), j >= 1 entry j.
struct IndexPosition {
  uint32_t page = 0;
  uint32_t j = 0;
};

class IndexFile {
 public:
  IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;
  ~IndexFile();

  // Writes a new file: one header page, all zero but key length, keys per
  // page and next unused page 1, and the in-use flag as given (a rebuild
  // creates its files in use until it has filled them). Synced.
  static Status Create(const std::string& path, uint32_t key_length, bool in_use);

  // Opens and checks the header (key length as expected, m = 1000/(k+4),
  // links below the next unused page, file long enough). A header whose
  // in-use flag is 1 is kCorrupt: the file was not closed cleanly.
  Status Open(const std::string& path, uint32_t expected_key_length);
  // Opens a file that is being rebuilt (its in-use flag may be 1).
  Status OpenForRebuild(const std::string& path, uint32_t expected_key_length);
  // Checkpoint, then close.
  Status Close();
  // Closes without touching the file (after a failure, or in a child that
  // simulates a crash): changes still in the cache are dropped.
  void Abandon() {
    DropCache();
    file_.Close();
    in_use_on_disk_ = false;
    changed_ = false;
    damaged_ = false;
  }
  // Writes what changed since the last syncpoint (unsynced: the file stays
  // marked in use); when nothing did, marks the file clean instead (what
  // was written synced, then the flag 0, synced).
  Status Syncpoint();
  // Writes and syncs what changed, then marks the file clean.
  Status Checkpoint();
  // True when pages or the header changed since they were last written.
  bool changed() const { return changed_; }
  // Marks the file in use on disk (synced) ahead of a change that a crash
  // could leave half done elsewhere (in the table's data file).
  Status MarkInUse() { return MarkDirty(); }
  // Marks the file in use for good: damage was found here or in the data it
  // indexes, so no checkpoint or close may call it clean again. The next
  // open of the database re-indexes the table.
  Status MarkDamaged() {
    damaged_ = true;
    return MarkDirty();
  }
  bool is_open() const { return file_.is_open(); }

  const IndexHeader& header() const { return header_; }
  const IndexPosition& position() const { return pos_; }
  const std::string& path() const { return file_.path(); }
  uint32_t key_length() const { return k_; }

  // Exact lookup: *rec = record number of the first equal key in key order,
  // 0 when absent; the position is set either way.
  // unique: the index holds each key once, so the search may stop at the
  // first equal key it meets.
  Status Locate(const uint8_t* key, uint32_t* rec, bool unique = false);
  // Adds a key. With unique set and the key present: *duplicate = true and
  // nothing changes.
  Status Insert(const uint8_t* key, uint32_t rec, bool unique, bool* duplicate);
  // Removes the entry with this key and record number, if there is one.
  Status Delete(const uint8_t* key, uint32_t rec);
  // Walks: *rec = record number at the new position, 0 when there is none
  // (the position then stays).
  Status First(uint32_t* rec);
  Status Last(uint32_t* rec);
  Status Next(uint32_t* rec);
  Status Prev(uint32_t* rec);

  // For tests and repair checks: verifies every invariant of the tree
  // (order, bounds, counts, parent and sibling links, leftmost/rightmost,
  // lower words, and that every page below the next unused page is either
  // in the tree or on the released list), and returns the entries in key
  // order as (key, record number).
  Status Verify(std::vector<std::pair<std::string, uint32_t>>* entries);

 private:
  struct Page;
  struct Loc {
    uint32_t page = 0;
    uint32_t idx = 0;
  };

  Status OpenChecked(const std::string& path, uint32_t expected_key_length, bool in_use_ok);
  // Page cache (see index_file.cpp).
  struct CachedPage;
  CachedPage* Cached(uint32_t p);
  Status AddToCache(uint32_t p, CachedPage** entry);
  Status MakeRoom();
  Status WriteBack();
  void DropCache();
  Status Fetch(uint32_t p, CachedPage** entry);
  Status LoadPage(uint32_t p, Page* page);
  // A checked page in the cache, valid until the cache changes (the next
  // page read or write of this file).
  Status ViewPage(uint32_t p, const Page** view);
  Status Flush();
  Status MarkClean();
  Status ReadPage(uint32_t p, Page* page);
  Status WritePage(uint32_t p, const Page& page);
  Status WriteHeader();
  Status MarkDirty();
  Status NewPage(uint32_t* p);
  Status Release(uint32_t p, Page* page);

  int Compare(const uint8_t* a, const uint8_t* b) const;
  Status DescendTo(uint32_t p, bool leftmost, uint32_t* leaf);
  Status ChildIndex(const Page& parent, uint32_t child, uint32_t* e);
  Status NextLoc(Loc in, Loc* out, bool* exists);
  Status PrevLoc(Loc in, Loc* out, bool* exists);
  Status KeyAt(Loc loc, uint8_t* key);
  Status RecAt(Loc loc, uint32_t* rec);
  Status SeparatorBefore(uint32_t leaf, Loc* sep);
  // Finds the first key equal to `key` (canonical location) or the leaf
  // stopping point. Sets the position as Locate does.
  Status Find(const uint8_t* key, bool* found, Loc* loc, uint32_t* rec, bool unique = false);
  Status InsertAt(Page* p, uint32_t pno, uint32_t at, const uint8_t* key, uint32_t val, bool leaf_insert);
  Status Rebalance(uint32_t ano, Page* a, uint32_t bno, Page* b);
  Status Merge(uint32_t ano, Page* a, uint32_t bno, Page* b, uint32_t* parent_count);
  // The steps of Delete.
  struct Removal;
  Status FindEntry(const uint8_t* key, uint32_t rec, bool* found, Loc* loc);
  Status RemoveEntry(Loc loc, Removal* gone);
  Status PositionAfterRemoval(const Removal& gone);
  Status RebalanceUpward(uint32_t pno, Page* p);
  Status MergeOrBorrow(uint32_t pno, Page* p, bool* settled, uint32_t* parent_count);
  Status StepTo(IndexPosition pos, uint32_t* rec);

  File file_;
  IndexHeader header_;
  IndexPosition pos_;
  // Leaves entered through sibling words in one direction since the
  // position was last set by a lookup, First, Last or a change of
  // direction: a walk over a sound tree enters each leaf once, so more than
  // the file has pages means the sibling words loop.
  uint64_t hops_ = 0;
  int hop_direction_ = 0;  // +1 right, -1 left
  Status Hop(int direction);
  uint32_t k_ = 0;
  uint32_t m_ = 0;
  std::vector<std::unique_ptr<CachedPage>> cache_;  // by page number
  std::deque<uint32_t> resident_;                    // cached pages, oldest first
  std::vector<uint32_t> unwritten_;                  // changed pages not yet written
  bool in_use_on_disk_ = false;  // the flag on disk is 1
  bool changed_ = false;         // pages or header changed since last written
  bool damaged_ = false;
};

// The number of index pages all open index files may keep in memory
// together (64 MB worth by default); tests set it small to exercise
// eviction.
void SetIndexCacheBudget(size_t pages);

// What an index file holds as it lies on disk, read page by page without
// walking the tree (for checks before a backup and at recovery).
struct IndexScan {
  bool usable = false;      // header and every page pass their checks
  bool in_use = false;      // the in-use flag is set
  uint64_t keys = 0;        // entries of all pages: the number of keys
  uint32_t max_record = 0;  // the largest record number in a leaf
  std::string problem;      // why it is not usable
};

// kIoError when the file cannot be read; otherwise the findings in *scan.
// Pages that fail their checks make the scan unusable but are skipped, so
// that max_record still reports what the sound leaves hold.
Status ScanIndexFile(const std::string& path, uint32_t key_length, IndexScan* scan);

}  // namespace groupdb

#endif  // GROUPDB_INDEX_FILE_H_
