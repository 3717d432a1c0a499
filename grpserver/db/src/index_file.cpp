// index_file.cpp: B-tree index engine.
//
// Divisions:
//   1. Page access: layout helpers, checked page reads, writes, allocation
//   2. File: create, open, checkpoint, close
//   3. Key order: compare, descend, step to the next/previous key
//   4. Lookup and walks: Locate, First, Last, Next, Prev
//   5. Insert: place, overflow to a sibling, split
//   6. Delete: find the entry, remove it (a separator gives way to its
//      successor), place the position, rebalance upward
//   7. Verify: the full invariant check used by tests and repair
#include "index_file.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace groupdb {
namespace {

constexpr int kMaxDepth = 48;  // far above any real tree (m >= 4, < 2^32 pages)
// Page words.
constexpr int kInner = 0, kParent = 4, kLeft = 8, kRight = 12, kCount = 16, kLower = 20, kEntries = 24;

// Byte offset of entry i (from 1) in a page whose keys are k bytes long.
inline uint32_t EntryOff(uint32_t k, uint32_t i) { return kEntries + (i - 1) * (k + 4); }

}  // namespace

// ---------------------------------------------------------------------------
// 1. Page access

// One page in memory, with room for one entry more than fits on disk, so an
// entry can be inserted before a full page is split.
struct IndexFile::Page {
  uint8_t b[kPageSize + 256];
  uint32_t w(int off) const { return GetU32(b + off); }
  void set(int off, uint32_t v) { PutU32(b + off, v); }
  void clear() { std::memset(b, 0, sizeof b); }
  // Entry i (from 1) of a page whose keys are k bytes long: the key, and
  // the word after it (a record number in a leaf, a child page in an inner
  // page).
  uint8_t* key(uint32_t k, uint32_t i) { return b + EntryOff(k, i); }
  const uint8_t* key(uint32_t k, uint32_t i) const { return b + EntryOff(k, i); }
  uint32_t value(uint32_t k, uint32_t i) const { return GetU32(b + EntryOff(k, i) + k); }
  void set_value(uint32_t k, uint32_t i, uint32_t v) { PutU32(b + EntryOff(k, i) + k, v); }
};


// ---- Page cache
//
// Every page read or written since the open stays in memory (up to a budget
// shared by all index files, then the oldest go, written first when they
// hold changes). A written page reaches the file at the next syncpoint,
// close or eviction: nothing is lost by holding it, since the in-use flag
// on disk (set and synced before the first change) makes the next open
// rebuild the index from the data file after a crash; the data file itself
// is written through at every change. For the same reason pages written
// while the flag is 1 are not synced until the file is about to be marked
// clean: a file marked in use is never read as a tree after a crash, so
// syncing it earlier would buy nothing.

struct IndexFile::CachedPage {
  Page page;               // the bytes beyond the page size stay zero
  bool unwritten = false;  // changed since it was last written to the file
  bool checked = false;    // passed ReadPage's checks since it last changed
};

namespace {

size_t g_cache_budget = size_t(64) << 10;  // pages (64 MB) for all index files
size_t g_cached_pages = 0;

}  // namespace

IndexFile::IndexFile() = default;
IndexFile::~IndexFile() { Abandon(); }

void SetIndexCacheBudget(size_t pages) { g_cache_budget = pages < 1 ? 1 : pages; }

void IndexFile::DropCache() {
  g_cached_pages -= resident_.size();
  cache_.clear();
  resident_.clear();
  unwritten_.clear();
}

Status IndexFile::MakeRoom() {
  while (g_cached_pages >= g_cache_budget && !resident_.empty()) {
    const uint32_t p = resident_.front();
    if (cache_[p]->unwritten) {
      Status s = WriteBack();
      if (!s.ok()) return s;
    }
    resident_.pop_front();
    cache_[p].reset();
    --g_cached_pages;
  }
  return Status::Ok();
}

IndexFile::CachedPage* IndexFile::Cached(uint32_t p) {
  return p < cache_.size() ? cache_[p].get() : nullptr;
}

Status IndexFile::AddToCache(uint32_t p, CachedPage** entry) {
  Status s = MakeRoom();
  if (!s.ok()) return s;
  if (cache_.size() <= p) cache_.resize(std::max<size_t>(size_t(p) + 1, cache_.size() * 2));
  cache_[p] = std::make_unique<CachedPage>();
  resident_.push_back(p);
  ++g_cached_pages;
  *entry = cache_[p].get();
  return Status::Ok();
}

Status IndexFile::WriteBack() {
  std::sort(unwritten_.begin(), unwritten_.end());
  for (uint32_t p : unwritten_) {
    CachedPage* c = Cached(p);
    if (c == nullptr || !c->unwritten) continue;
    Status s = file_.WriteAt(uint64_t(p) * kPageSize, c->page.b, kPageSize);
    if (!s.ok()) return s;
    c->unwritten = false;
  }
  unwritten_.clear();
  return Status::Ok();
}

// The cache entry of page p, read from the file when it is not cached.
Status IndexFile::Fetch(uint32_t p, CachedPage** entry) {
  CachedPage* c = Cached(p);
  if (c == nullptr) {
    Status s = AddToCache(p, &c);
    if (s.ok()) s = file_.ReadAt(uint64_t(p) * kPageSize, c->page.b, kPageSize);
    if (!s.ok()) {
      if (c != nullptr) {
        resident_.pop_back();
        cache_[p].reset();
        --g_cached_pages;
      }
      return s;
    }
  }
  *entry = c;
  return Status::Ok();
}

// The page as it is now (cache or file), unchecked.
Status IndexFile::LoadPage(uint32_t p, Page* page) {
  CachedPage* c = nullptr;
  Status s = Fetch(p, &c);
  if (!s.ok()) return s;
  std::memcpy(page->b, c->page.b, sizeof page->b);
  return Status::Ok();
}

// Page number in range, flag 0 or 1, count within bounds, links below the
// next unused page (children non-zero).
Status IndexFile::ViewPage(uint32_t p, const Page** view) {
  if (p == 0 || p >= header_.next_page) {
    return Status::Corrupt(path(), "page number " + std::to_string(p) + " out of range");
  }
  CachedPage* c = nullptr;
  Status s = Fetch(p, &c);
  if (!s.ok()) return s;
  if (!c->checked) {
    const Page* page = &c->page;
    uint32_t inner = page->w(kInner), count = page->w(kCount);
    const uint32_t n = header_.next_page;
    bool ok = inner <= 1 && count <= m_ && page->w(kParent) < n && page->w(kLeft) < n && page->w(kRight) < n;
    if (ok && inner == 1) {
      ok = page->w(kLower) != 0 && page->w(kLower) < n;
      for (uint32_t i = 1; ok && i <= count; ++i) ok = page->value(k_, i) != 0 && page->value(k_, i) < n;
    }
    if (!ok) return Status::Corrupt(path(), "page " + std::to_string(p) + " fails its checks");
    c->checked = true;  // the next unused page never goes down: true until the page changes
  }
  *view = &c->page;
  return Status::Ok();
}

Status IndexFile::ReadPage(uint32_t p, Page* page) {
  const Page* view = nullptr;
  Status s = ViewPage(p, &view);
  if (s.ok()) std::memcpy(page->b, view->b, sizeof page->b);
  return s;
}

Status IndexFile::WritePage(uint32_t p, const Page& page) {
  CachedPage* c = Cached(p);
  if (c == nullptr) {
    Status s = AddToCache(p, &c);
    if (!s.ok()) return s;
  }
  std::memcpy(c->page.b, page.b, kPageSize);
  c->checked = false;
  if (!c->unwritten) unwritten_.push_back(p);
  c->unwritten = true;
  changed_ = true;
  return Status::Ok();
}

Status IndexFile::WriteHeader() {
  uint8_t h[kIndexHeaderSize];
  PutU32(h, header_.root);
  PutU32(h + 4, header_.key_length);
  PutU32(h + 8, header_.max_keys);
  PutU32(h + 12, header_.released_head);
  PutU32(h + 16, header_.next_page);
  PutU32(h + 20, header_.in_use);
  PutU32(h + 24, header_.leftmost);
  PutU32(h + 28, header_.rightmost);
  return file_.WriteAt(0, h, sizeof h);
}

Status IndexFile::MarkDirty() {
  if (in_use_on_disk_) return Status::Ok();
  header_.in_use = 1;
  Status s = WriteHeader();
  if (s.ok()) s = file_.SyncIfWritten();
  if (!s.ok()) return s;
  in_use_on_disk_ = true;
  return s;
}

Status IndexFile::NewPage(uint32_t* p) {
  if (header_.released_head != 0) {
    uint32_t head = header_.released_head;
    Page pg;
    Status s = ReadPage(head, &pg);
    if (!s.ok()) return s;
    header_.released_head = pg.w(kParent);
    *p = head;
    return Status::Ok();
  }
  if (header_.next_page == 0xFFFFFFFFu) return Status(kIoError, path() + ": page numbers exhausted");
  *p = header_.next_page++;
  return Status::Ok();
}

Status IndexFile::Release(uint32_t p, Page* page) {
  page->clear();
  page->set(kParent, header_.released_head);
  header_.released_head = p;
  return WritePage(p, *page);
}

// ---------------------------------------------------------------------------
// 2. File

Status IndexFile::Create(const std::string& path, uint32_t key_length, bool in_use) {
  File f;
  Status s = File::Create(path, &f);
  if (!s.ok()) return s;
  uint8_t page[kPageSize] = {};
  PutU32(page + 4, key_length);
  PutU32(page + 8, 1000 / (key_length + 4));
  PutU32(page + 16, 1);
  PutU32(page + 20, in_use ? 1 : 0);
  s = f.WriteAt(0, page, sizeof page);
  if (!s.ok()) return s;
  return f.Sync();
}

Status IndexFile::Open(const std::string& path, uint32_t expected_key_length) {
  return OpenChecked(path, expected_key_length, false);
}

Status IndexFile::OpenForRebuild(const std::string& path, uint32_t expected_key_length) {
  return OpenChecked(path, expected_key_length, true);
}

Status IndexFile::OpenChecked(const std::string& path, uint32_t expected_key_length, bool in_use_ok) {
  Abandon();
  File f;
  Status s = File::OpenExisting(path, &f);
  if (!s.ok()) return s;
  uint64_t size = 0;
  s = f.Size(&size);
  if (!s.ok()) return s;
  if (size < kPageSize) return Status::Corrupt(path, "shorter than its header page");
  uint8_t h[kIndexHeaderSize];
  s = f.ReadAt(0, h, sizeof h);
  if (!s.ok()) return s;
  IndexHeader hd{GetU32(h),      GetU32(h + 4),  GetU32(h + 8),  GetU32(h + 12),
                 GetU32(h + 16), GetU32(h + 20), GetU32(h + 24), GetU32(h + 28)};
  if (hd.in_use > 1 || (hd.in_use == 1 && !in_use_ok)) return Status::Corrupt(path, "in use: not closed cleanly");
  if (hd.key_length != expected_key_length || hd.max_keys != 1000 / (expected_key_length + 4)) {
    return Status::Corrupt(path, "key length or keys per page do not match the table");
  }
  const uint32_t n = hd.next_page;
  if (n == 0 || uint64_t(n) * kPageSize > size || hd.root >= n || hd.released_head >= n || hd.leftmost >= n ||
      hd.rightmost >= n || (hd.root == 0) != (hd.leftmost == 0) || (hd.root == 0) != (hd.rightmost == 0)) {
    return Status::Corrupt(path, "header words out of range");
  }
  file_ = std::move(f);
  header_ = hd;
  k_ = hd.key_length;
  m_ = hd.max_keys;
  pos_ = IndexPosition();
  hops_ = 0;
  in_use_on_disk_ = hd.in_use == 1;
  changed_ = false;
  return Status::Ok();
}

// Writes the changed pages and the header to the file, unsynced: the
// in-use flag on disk is 1 while anything is changed.
Status IndexFile::Flush() {
  if (!changed_) return Status::Ok();
  Status s = WriteBack();
  if (s.ok()) s = WriteHeader();
  if (s.ok()) changed_ = false;
  return s;
}

// The tree reaches the disk (synced) before the header that calls it clean
// is written: a crash in between leaves the flag at 1.
Status IndexFile::MarkClean() {
  if (!in_use_on_disk_ || damaged_) return Status::Ok();
  Status s = file_.SyncIfWritten();
  if (!s.ok()) return s;
  header_.in_use = 0;
  s = WriteHeader();
  if (s.ok()) s = file_.SyncIfWritten();
  // Whatever failed, the header calling the file clean may have reached it:
  // the next change must write and sync the in-use flag again, or a crash
  // could leave a stale tree marked clean.
  in_use_on_disk_ = false;
  if (!s.ok()) header_.in_use = 1;
  return s;
}

Status IndexFile::Syncpoint() {
  const bool was_changed = changed_;
  Status s = Flush();
  if (!s.ok() || was_changed) return s;
  return MarkClean();
}

Status IndexFile::Checkpoint() {
  Status s = Flush();
  if (s.ok()) s = file_.SyncIfWritten();
  if (s.ok()) s = MarkClean();
  return s;
}

Status IndexFile::Close() {
  Status s = file_.is_open() ? Checkpoint() : Status::Ok();
  Abandon();
  return s;
}

// ---------------------------------------------------------------------------
// 3. Key order

// Bytes compare as signed 8-bit values, so 0x80..0xFF sort before 0x00..0x7F.
int IndexFile::Compare(const uint8_t* a, const uint8_t* b) const {
  // Equal stretches are skipped eight bytes at a time; the first byte that
  // differs decides, compared as signed.
  uint32_t i = 0;
  for (; i + 8 <= k_; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) break;
  }
  for (; i < k_; ++i) {
    int d = int(static_cast<int8_t>(a[i])) - int(static_cast<int8_t>(b[i]));
    if (d != 0) return d;
  }
  return 0;
}

Status IndexFile::DescendTo(uint32_t p, bool leftmost, uint32_t* leaf) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const Page* pg = nullptr;
    Status s = ViewPage(p, &pg);
    if (!s.ok()) return s;
    if (pg->w(kInner) == 0) {
      *leaf = p;
      return Status::Ok();
    }
    uint32_t c = pg->w(kCount);
    p = (leftmost || c == 0) ? pg->w(kLower) : pg->value(k_, c);
  }
  return Status::Corrupt(path(), "tree deeper than any valid tree");
}

Status IndexFile::ChildIndex(const Page& parent, uint32_t child, uint32_t* e) {
  if (parent.w(kInner) != 1) return Status::Corrupt(path(), "parent page is a leaf");
  if (parent.w(kLower) == child) {
    *e = 0;
    return Status::Ok();
  }
  uint32_t c = parent.w(kCount);
  for (uint32_t i = 1; i <= c; ++i) {
    if (parent.value(k_, i) == child) {
      *e = i;
      return Status::Ok();
    }
  }
  return Status::Corrupt(path(), "page " + std::to_string(child) + " missing from its parent");
}

Status IndexFile::NextLoc(Loc in, Loc* out, bool* exists) {
  *exists = false;
  Page pg;
  Status s = ReadPage(in.page, &pg);
  if (!s.ok()) return s;
  if (pg.w(kInner) == 1) {
    // The first key of the leftmost leaf of the entry's right subtree.
    uint32_t leaf;
    s = DescendTo(pg.value(k_, in.idx), true, &leaf);
    if (!s.ok()) return s;
    *out = {leaf, 1};
    *exists = true;
    return s;
  }
  if (in.idx < pg.w(kCount)) {
    *out = {in.page, in.idx + 1};
    *exists = true;
    return s;
  }
  // Climb to the separator that follows this subtree.
  uint32_t child = in.page;
  uint32_t parent = pg.w(kParent);
  for (int depth = 0; parent != 0; ++depth) {
    if (depth >= kMaxDepth) return Status::Corrupt(path(), "parent chain too long");
    Page pp;
    s = ReadPage(parent, &pp);
    if (!s.ok()) return s;
    uint32_t e;
    s = ChildIndex(pp, child, &e);
    if (!s.ok()) return s;
    if (e < pp.w(kCount)) {
      *out = {parent, e + 1};
      *exists = true;
      return s;
    }
    child = parent;
    parent = pp.w(kParent);
  }
  return s;
}

Status IndexFile::PrevLoc(Loc in, Loc* out, bool* exists) {
  *exists = false;
  Page pg;
  Status s = ReadPage(in.page, &pg);
  if (!s.ok()) return s;
  if (pg.w(kInner) == 1) {
    // The last key of the rightmost leaf of the entry's left subtree.
    uint32_t child = in.idx == 1 ? pg.w(kLower) : pg.value(k_, in.idx - 1);
    uint32_t leaf;
    s = DescendTo(child, false, &leaf);
    if (!s.ok()) return s;
    Page lf;
    s = ReadPage(leaf, &lf);
    if (!s.ok()) return s;
    if (lf.w(kCount) == 0) return Status::Corrupt(path(), "empty leaf");
    *out = {leaf, lf.w(kCount)};
    *exists = true;
    return s;
  }
  if (in.idx > 1) {
    *out = {in.page, in.idx - 1};
    *exists = true;
    return s;
  }
  uint32_t child = in.page;
  uint32_t parent = pg.w(kParent);
  for (int depth = 0; parent != 0; ++depth) {
    if (depth >= kMaxDepth) return Status::Corrupt(path(), "parent chain too long");
    Page pp;
    s = ReadPage(parent, &pp);
    if (!s.ok()) return s;
    uint32_t e;
    s = ChildIndex(pp, child, &e);
    if (!s.ok()) return s;
    if (e >= 1) {
      *out = {parent, e};
      *exists = true;
      return s;
    }
    child = parent;
    parent = pp.w(kParent);
  }
  return s;
}

Status IndexFile::KeyAt(Loc loc, uint8_t* key) {
  Page pg;
  Status s = ReadPage(loc.page, &pg);
  if (!s.ok()) return s;
  if (loc.idx < 1 || loc.idx > pg.w(kCount)) return Status::Corrupt(path(), "entry out of range");
  std::memcpy(key, pg.key(k_, loc.idx), k_);
  return s;
}

Status IndexFile::RecAt(Loc loc, uint32_t* rec) {
  Page pg;
  Status s = ReadPage(loc.page, &pg);
  if (!s.ok()) return s;
  if (loc.idx < 1 || loc.idx > pg.w(kCount)) return Status::Corrupt(path(), "entry out of range");
  if (pg.w(kInner) == 0) {
    *rec = pg.value(k_, loc.idx);
    return s;
  }
  uint32_t leaf;
  s = DescendTo(pg.value(k_, loc.idx), true, &leaf);
  if (!s.ok()) return s;
  Page lf;
  s = ReadPage(leaf, &lf);
  if (!s.ok()) return s;
  *rec = lf.w(kLower);
  return s;
}

// The separator that precedes a leaf in key order: climbing from the leaf,
// the entry of the first ancestor in which the path is not the lower child.
// For a leaf with a left sibling there always is one.
Status IndexFile::SeparatorBefore(uint32_t leaf, Loc* sep) {
  uint32_t child = leaf;
  Page pg;
  Status s = ReadPage(child, &pg);
  if (!s.ok()) return s;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    uint32_t parent = pg.w(kParent);
    if (parent == 0) return Status::Corrupt(path(), "leaf without a separator before it");
    s = ReadPage(parent, &pg);
    if (!s.ok()) return s;
    uint32_t e;
    s = ChildIndex(pg, child, &e);
    if (!s.ok()) return s;
    if (e >= 1) {
      *sep = {parent, e};
      return s;
    }
    child = parent;
  }
  return Status::Corrupt(path(), "parent chain too long");
}

// ---------------------------------------------------------------------------
// 4. Lookup and walks

Status IndexFile::Find(const uint8_t* key, bool* found, Loc* loc, uint32_t* rec, bool unique) {
  *found = false;
  *rec = 0;
  hops_ = 0;
  if (header_.root == 0) {
    pos_ = IndexPosition();
    return Status::Ok();
  }
  // Descend to the first key >= the search key in each page. An equal key
  // met on the way is remembered and the search goes on left of it, since
  // equal keys may lie before it: the last equal key met is the first of
  // the run in key order (what stepping back through the run would reach,
  // in depth-many page reads instead of run-many). In a unique index the
  // first equal key met is the only one.
  uint32_t p = header_.root;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) return Status::Corrupt(path(), "tree deeper than any valid tree");
    const Page* pg = nullptr;
    Status s = ViewPage(p, &pg);
    if (!s.ok()) return s;
    uint32_t c = pg->w(kCount);
    uint32_t i = 1;
    int cmp = 1;
    for (; i <= c; ++i) {
      cmp = Compare(key, pg->key(k_, i));
      if (cmp <= 0) break;
    }
    if (i <= c && cmp == 0) {
      *found = true;
      *loc = {p, i};
      if (unique) break;
    }
    if (pg->w(kInner) == 1) {
      p = i == 1 ? pg->w(kLower) : pg->value(k_, i - 1);
      continue;
    }
    if (*found) break;
    // Absent: the position rests on the first greater key.
    *loc = {p, i};
    if (i <= c) {
      pos_ = {p, i};
    } else if (pg->w(kRight) != 0) {
      pos_ = {pg->w(kRight), 0};
    } else {
      pos_ = IndexPosition();
    }
    return Status::Ok();
  }
  const Page* pg = nullptr;
  Status s = ViewPage(loc->page, &pg);
  if (!s.ok()) return s;
  if (pg->w(kInner) == 0) {
    pos_ = {loc->page, loc->idx};
    *rec = pg->value(k_, loc->idx);
    return s;
  }
  uint32_t leaf;
  s = DescendTo(pg->value(k_, loc->idx), true, &leaf);
  if (!s.ok()) return s;
  const Page* lf = nullptr;
  s = ViewPage(leaf, &lf);
  if (!s.ok()) return s;
  pos_ = {leaf, 0};
  *rec = lf->w(kLower);
  return s;
}

Status IndexFile::Locate(const uint8_t* key, uint32_t* rec, bool unique) {
  bool found;
  Loc loc;
  return Find(key, &found, &loc, rec, unique);
}

Status IndexFile::StepTo(IndexPosition pos, uint32_t* rec) {
  Page pg;
  Status s = ReadPage(pos.page, &pg);
  if (!s.ok()) return s;
  if (pg.w(kInner) != 0 || pos.j > pg.w(kCount)) return Status::Corrupt(path(), "walk reached a bad leaf");
  uint32_t r = pos.j == 0 ? pg.w(kLower) : pg.value(k_, pos.j);
  *rec = r;
  if (r != 0) pos_ = pos;  // no key there (the leftmost leaf's lower word): stay
  return s;
}

Status IndexFile::Hop(int direction) {
  if (direction != hop_direction_) {
    hop_direction_ = direction;
    hops_ = 0;
  }
  if (++hops_ > header_.next_page) return Status::Corrupt(path(), "sibling words of the leaves loop");
  return Status::Ok();
}

Status IndexFile::First(uint32_t* rec) {
  *rec = 0;
  hops_ = 0;
  if (header_.root == 0) return Status::Ok();
  return StepTo({header_.leftmost, 1}, rec);
}

Status IndexFile::Last(uint32_t* rec) {
  *rec = 0;
  hops_ = 0;
  if (header_.root == 0) return Status::Ok();
  Page pg;
  Status s = ReadPage(header_.rightmost, &pg);
  if (!s.ok()) return s;
  return StepTo({header_.rightmost, pg.w(kCount)}, rec);
}

Status IndexFile::Next(uint32_t* rec) {
  *rec = 0;
  if (pos_.page == 0) return First(rec);
  if (header_.root == 0) return Status::Ok();
  Page pg;
  Status s = ReadPage(pos_.page, &pg);
  if (!s.ok()) return s;
  if (pg.w(kInner) != 0 || pos_.j > pg.w(kCount)) return Status::Corrupt(path(), "position on a bad page");
  if (pos_.j < pg.w(kCount)) return StepTo({pos_.page, pos_.j + 1}, rec);
  if (pg.w(kRight) == 0) return Status::Ok();
  s = Hop(+1);
  if (!s.ok()) return s;
  return StepTo({pg.w(kRight), 0}, rec);
}

Status IndexFile::Prev(uint32_t* rec) {
  *rec = 0;
  if (pos_.page == 0) return Last(rec);
  if (header_.root == 0) return Status::Ok();
  Page pg;
  Status s = ReadPage(pos_.page, &pg);
  if (!s.ok()) return s;
  if (pg.w(kInner) != 0 || pos_.j > pg.w(kCount)) return Status::Corrupt(path(), "position on a bad page");
  if (pos_.j > 0) return StepTo({pos_.page, pos_.j - 1}, rec);
  if (pg.w(kLeft) == 0) return Status::Ok();
  s = Hop(-1);
  if (!s.ok()) return s;
  Page lp;
  s = ReadPage(pg.w(kLeft), &lp);
  if (!s.ok()) return s;
  return StepTo({pg.w(kLeft), lp.w(kCount)}, rec);
}

// ---------------------------------------------------------------------------
// 5. Insert

Status IndexFile::Insert(const uint8_t* key, uint32_t rec, bool unique, bool* duplicate) {
  *duplicate = false;
  if (!file_.is_open()) return Status(kIoError, "index not open");
  if (header_.root == 0) {
    Status s = MarkDirty();
    if (!s.ok()) return s;
    uint32_t p;
    s = NewPage(&p);
    if (!s.ok()) return s;
    Page pg;
    pg.clear();
    pg.set(kCount, 1);
    std::memcpy(pg.key(k_, 1), key, k_);
    pg.set_value(k_, 1, rec);
    s = WritePage(p, pg);
    if (!s.ok()) return s;
    header_.root = header_.leftmost = header_.rightmost = p;
    pos_ = {p, 1};
    return s;
  }
  bool found;
  Loc loc;
  uint32_t found_rec;
  Status s = Find(key, &found, &loc, &found_rec);
  if (!s.ok()) return s;
  if (found && unique) {
    *duplicate = true;
    return Status::Ok();
  }
  Page pg;
  s = ReadPage(loc.page, &pg);
  if (!s.ok()) return s;
  uint32_t pno = loc.page, at = loc.idx;
  if (found && pg.w(kInner) == 1) {
    // In front of the first entry of the leftmost leaf of the found
    // entry's right subtree.
    s = DescendTo(pg.value(k_, loc.idx), true, &pno);
    if (!s.ok()) return s;
    s = ReadPage(pno, &pg);
    if (!s.ok()) return s;
    at = 1;
  }
  s = MarkDirty();
  if (!s.ok()) return s;
  return InsertAt(&pg, pno, at, key, rec, true);
}

Status IndexFile::InsertAt(Page* p, uint32_t pno, uint32_t at, const uint8_t* key, uint32_t val, bool leaf_insert) {
  uint8_t entry[kPageSize];
  std::memcpy(entry, key, k_);
  PutU32(entry + k_, val);
  const uint32_t es = k_ + 4;
  for (int level = 0; level < kMaxDepth; ++level) {
    uint32_t c = p->w(kCount);
    std::memmove(p->b + EntryOff(k_, at + 1), p->b + EntryOff(k_, at), (c - at + 1) * es);
    std::memcpy(p->b + EntryOff(k_, at), entry, es);
    ++c;
    p->set(kCount, c);
    if (leaf_insert && level == 0) pos_ = {pno, at};
    if (c <= m_) return WritePage(pno, *p);

    // Overflow: pass an entry to a sibling with room under the same parent.
    const uint32_t parent = p->w(kParent);
    Page sib;
    Status s;
    if (p->w(kLeft) != 0 && parent != 0) {
      s = ReadPage(p->w(kLeft), &sib);
      if (!s.ok()) return s;
      if (sib.w(kParent) == parent && sib.w(kCount) < m_) {
        uint32_t lno = p->w(kLeft);
        s = Rebalance(lno, &sib, pno, p);
        if (s.ok()) s = WritePage(lno, sib);
        if (s.ok()) s = WritePage(pno, *p);
        return s;
      }
    }
    if (p->w(kRight) != 0 && parent != 0) {
      s = ReadPage(p->w(kRight), &sib);
      if (!s.ok()) return s;
      if (sib.w(kParent) == parent && sib.w(kCount) < m_) {
        uint32_t rno = p->w(kRight);
        s = Rebalance(pno, p, rno, &sib);
        if (s.ok()) s = WritePage(pno, *p);
        if (s.ok()) s = WritePage(rno, sib);
        return s;
      }
    }

    // Split: P keeps 1..h, entry h+1 goes up, h+2..m+1 move to Q.
    const uint32_t h = (m_ + 1) / 2;
    uint32_t qno;
    s = NewPage(&qno);
    if (!s.ok()) return s;
    Page q;
    q.clear();
    std::memcpy(entry, p->b + EntryOff(k_, h + 1), es);  // the separator S
    q.set(kInner, p->w(kInner));
    q.set(kLeft, pno);
    q.set(kRight, p->w(kRight));
    q.set(kCount, m_ - h);
    q.set(kLower, GetU32(entry + k_));
    std::memcpy(q.b + EntryOff(k_, 1), p->b + EntryOff(k_, h + 2), (m_ - h) * es);
    if (p->w(kRight) != 0) {
      Page r;
      s = ReadPage(p->w(kRight), &r);
      if (!s.ok()) return s;
      r.set(kLeft, qno);
      s = WritePage(p->w(kRight), r);
      if (!s.ok()) return s;
    }
    p->set(kRight, qno);
    p->set(kCount, h);
    std::memset(p->b + EntryOff(k_, h + 1), 0, sizeof p->b - EntryOff(k_, h + 1));
    if (header_.rightmost == pno && p->w(kInner) == 0) header_.rightmost = qno;
    if (pos_.page == pno && pos_.j > h) pos_ = {qno, pos_.j - h - 1};
    uint32_t rno = 0;
    if (parent == 0) {
      s = NewPage(&rno);
      if (!s.ok()) return s;
      p->set(kParent, rno);
      q.set(kParent, rno);
    } else {
      q.set(kParent, parent);
    }
    s = WritePage(qno, q);
    if (!s.ok()) return s;
    if (q.w(kInner) == 1) {
      for (uint32_t i = 0; i <= q.w(kCount); ++i) {
        uint32_t child = i == 0 ? q.w(kLower) : q.value(k_, i);
        Page cp;
        s = ReadPage(child, &cp);
        if (!s.ok()) return s;
        cp.set(kParent, qno);
        s = WritePage(child, cp);
        if (!s.ok()) return s;
      }
    }
    s = WritePage(pno, *p);
    if (!s.ok()) return s;
    if (parent == 0) {
      Page r;
      r.clear();
      r.set(kInner, 1);
      r.set(kCount, 1);
      r.set(kLower, pno);
      std::memcpy(r.b + EntryOff(k_, 1), entry, k_);
      r.set_value(k_, 1, qno);
      s = WritePage(rno, r);
      if (!s.ok()) return s;
      header_.root = rno;
      return s;
    }
    // Insert (S, Q) into the parent right after its pointer to P.
    Page pp;
    s = ReadPage(parent, &pp);
    if (!s.ok()) return s;
    uint32_t e;
    s = ChildIndex(pp, pno, &e);
    if (!s.ok()) return s;
    PutU32(entry + k_, qno);
    *p = pp;
    pno = parent;
    at = e + 1;
  }
  return Status::Corrupt(path(), "split climbed past any valid depth");
}

// A (left) and B (right) share a parent with separator S between them. The
// run A's entries, S (carrying B's lower word), B's entries is shared out:
// A gets the first t/2 entries (t = count A + count B), the next becomes the
// new separator, B gets the rest. Writes the parent; the caller writes A, B.
Status IndexFile::Rebalance(uint32_t ano, Page* a, uint32_t bno, Page* b) {
  const uint32_t parent = a->w(kParent);
  Page pp;
  Status s = ReadPage(parent, &pp);
  if (!s.ok()) return s;
  uint32_t e;
  s = ChildIndex(pp, bno, &e);
  if (!s.ok()) return s;
  if (e == 0 || (e == 1 ? pp.w(kLower) : pp.value(k_, e - 1)) != ano) {
    return Status::Corrupt(path(), "siblings are not neighbours in their parent");
  }
  const uint32_t ac = a->w(kCount), bc = b->w(kCount), t = ac + bc, half = t / 2;
  if (ac == half) return Status::Ok();
  const uint32_t es = k_ + 4;
  std::vector<uint8_t> run(size_t(t + 1) * es);
  std::memcpy(run.data(), a->b + kEntries, size_t(ac) * es);
  std::memcpy(run.data() + size_t(ac) * es, pp.key(k_, e), k_);
  PutU32(run.data() + size_t(ac) * es + k_, b->w(kLower));
  std::memcpy(run.data() + size_t(ac + 1) * es, b->b + kEntries, size_t(bc) * es);

  // The position follows its key: run index of the positioned entry.
  int64_t run_pos = -1;
  if (pos_.page == ano && pos_.j >= 1) run_pos = pos_.j - 1;
  if (pos_.page == bno) run_pos = ac + pos_.j;

  std::memset(a->b + kEntries, 0, sizeof a->b - kEntries);
  std::memset(b->b + kEntries, 0, sizeof b->b - kEntries);
  std::memcpy(a->b + kEntries, run.data(), size_t(half) * es);
  a->set(kCount, half);
  const uint8_t* sep = run.data() + size_t(half) * es;
  std::memcpy(pp.key(k_, e), sep, k_);
  b->set(kLower, GetU32(sep + k_));
  std::memcpy(b->b + kEntries, run.data() + size_t(half + 1) * es, size_t(t - half) * es);
  b->set(kCount, t - half);
  s = WritePage(parent, pp);
  if (!s.ok()) return s;

  if (run_pos >= 0) {
    if (run_pos < int64_t(half)) {
      pos_ = {ano, uint32_t(run_pos + 1)};
    } else {
      pos_ = {bno, uint32_t(run_pos - half)};
    }
  }
  if (a->w(kInner) == 1) {
    // Re-parent the children that changed page.
    for (uint32_t r = 0; r <= t; ++r) {
      uint32_t old_owner = r < ac ? ano : bno;
      uint32_t new_owner = r < half ? ano : bno;
      if (old_owner == new_owner) continue;
      uint32_t child = GetU32(run.data() + size_t(r) * es + k_);
      Page cp;
      s = ReadPage(child, &cp);
      if (!s.ok()) return s;
      cp.set(kParent, new_owner);
      s = WritePage(child, cp);
      if (!s.ok()) return s;
    }
  }
  return Status::Ok();
}

// ---------------------------------------------------------------------------
// 6. Delete

// What RemoveEntry leaves for the steps after it: the page that lost an
// entry (changed in memory, not yet written), its number, the slot the entry
// had, and whether the key removed was a separator (its successor left the
// leaf in its stead).
struct IndexFile::Removal {
  Page page;
  uint32_t page_no = 0;
  uint32_t slot = 0;
  bool separator = false;
};

// Merges B (right) into A (left): S from the parent, then B's entries. B is
// released, S leaves the parent. Writes A, B and the parent; returns the
// parent's new count.
Status IndexFile::Merge(uint32_t ano, Page* a, uint32_t bno, Page* b, uint32_t* parent_count) {
  const uint32_t parent = a->w(kParent);
  Page pp;
  Status s = ReadPage(parent, &pp);
  if (!s.ok()) return s;
  uint32_t e;
  s = ChildIndex(pp, bno, &e);
  if (!s.ok()) return s;
  if (e == 0 || (e == 1 ? pp.w(kLower) : pp.value(k_, e - 1)) != ano) {
    return Status::Corrupt(path(), "siblings are not neighbours in their parent");
  }
  const uint32_t ac = a->w(kCount), bc = b->w(kCount), es = k_ + 4;
  if (ac + bc + 1 > m_) return Status::Corrupt(path(), "merge would overfill a page");
  std::memcpy(a->b + EntryOff(k_, ac + 1), pp.key(k_, e), k_);
  a->set_value(k_, ac + 1, b->w(kLower));
  std::memcpy(a->b + EntryOff(k_, ac + 2), b->b + kEntries, size_t(bc) * es);
  a->set(kCount, ac + bc + 1);
  if (a->w(kInner) == 1) {
    for (uint32_t i = 0; i <= bc; ++i) {
      uint32_t child = i == 0 ? b->w(kLower) : b->value(k_, i);
      Page cp;
      s = ReadPage(child, &cp);
      if (!s.ok()) return s;
      cp.set(kParent, ano);
      s = WritePage(child, cp);
      if (!s.ok()) return s;
    }
  }
  if (pos_.page == bno) pos_ = {ano, ac + 1 + pos_.j};
  a->set(kRight, b->w(kRight));
  if (b->w(kRight) != 0) {
    Page r;
    s = ReadPage(b->w(kRight), &r);
    if (!s.ok()) return s;
    r.set(kLeft, ano);
    s = WritePage(b->w(kRight), r);
    if (!s.ok()) return s;
  }
  if (header_.rightmost == bno) header_.rightmost = ano;
  // Remove S from the parent.
  uint32_t pc = pp.w(kCount);
  std::memmove(pp.b + EntryOff(k_, e), pp.b + EntryOff(k_, e + 1), size_t(pc - e) * es);
  std::memset(pp.b + EntryOff(k_, pc), 0, es);
  --pc;
  pp.set(kCount, pc);
  // A parent root left without entries gives way to A. (A non-root parent
  // without entries keeps A as its lower child until it is merged itself.)
  if (pc == 0 && pp.w(kParent) == 0) a->set(kParent, 0);
  s = WritePage(ano, *a);
  if (s.ok()) s = Release(bno, b);
  if (s.ok()) s = WritePage(parent, pp);
  *parent_count = pc;
  return s;
}

Status IndexFile::Delete(const uint8_t* key, uint32_t rec) {
  if (!file_.is_open()) return Status(kIoError, "index not open");
  if (header_.root == 0) return Status::Ok();
  bool found = false;
  Loc loc;
  Status s = FindEntry(key, rec, &found, &loc);
  if (!s.ok() || !found) return s;
  s = MarkDirty();
  if (!s.ok()) return s;
  Removal gone;
  s = RemoveEntry(loc, &gone);
  if (s.ok()) s = PositionAfterRemoval(gone);
  if (s.ok()) s = RebalanceUpward(gone.page_no, &gone.page);
  return s;
}

// The entry holding this key and record number. Equal keys form a run; from
// the first of the run the walk goes along the leaves: position (leaf, 0)
// stands for the separator that precedes the leaf, whose record number is
// the leaf's lower word. So one page read per leaf of the run; the inner
// pages are climbed only to confirm a separator whose record number matches.
Status IndexFile::FindEntry(const uint8_t* key, uint32_t rec, bool* found, Loc* loc) {
  uint32_t first_rec = 0;
  Status s = Find(key, found, loc, &first_rec);
  if (!s.ok() || !*found || first_rec == rec) return s;
  *found = false;
  uint32_t leaf = pos_.page, j = pos_.j == 0 ? 1 : pos_.j;
  Page pg;
  for (uint64_t steps = 0;; ++steps) {
    if (steps > header_.next_page) return Status::Corrupt(path(), "walk does not end");
    s = ReadPage(leaf, &pg);
    if (!s.ok()) return s;
    if (pg.w(kInner) != 0) return Status::Corrupt(path(), "walk reached an inner page");
    const uint32_t c = pg.w(kCount);
    for (; j <= c; ++j) {
      if (Compare(key, pg.key(k_, j)) != 0) return Status::Ok();  // the run ended
      if (pg.value(k_, j) == rec) {
        *loc = {leaf, j};
        *found = true;
        return Status::Ok();
      }
    }
    const uint32_t right = pg.w(kRight);
    if (right == 0) return Status::Ok();
    Page rp;
    s = ReadPage(right, &rp);
    if (!s.ok()) return s;
    if (rp.w(kInner) != 0 || rp.w(kCount) == 0) return Status::Corrupt(path(), "bad leaf in the sibling chain");
    // The separator between the two leaves lies between this leaf's last
    // key (equal) and the right leaf's first key.
    if (rp.w(kLower) == rec) {
      Loc sep;
      s = SeparatorBefore(right, &sep);
      if (!s.ok()) return s;
      uint8_t sep_key[kPageSize];
      s = KeyAt(sep, sep_key);
      if (!s.ok()) return s;
      if (Compare(key, sep_key) != 0) return Status::Ok();
      *loc = sep;
      *found = true;
      return Status::Ok();
    }
    if (Compare(key, rp.key(k_, 1)) != 0) return Status::Ok();  // separator and on: greater or not ours
    leaf = right;
    j = 1;
  }
}

// Takes the entry at loc out of the tree. A separator is replaced by its
// successor (the first key of the leftmost leaf of its right subtree),
// which then leaves that leaf instead. The page that lost an entry is
// returned unwritten: the rebalancing writes it.
Status IndexFile::RemoveEntry(Loc loc, Removal* gone) {
  Page& p = gone->page;
  Status s = ReadPage(loc.page, &p);
  if (!s.ok()) return s;
  gone->page_no = loc.page;
  gone->slot = loc.idx;
  gone->separator = p.w(kInner) == 1;
  if (gone->separator) {
    uint32_t leaf;
    s = DescendTo(p.value(k_, loc.idx), true, &leaf);
    if (!s.ok()) return s;
    Page lf;
    s = ReadPage(leaf, &lf);
    if (!s.ok()) return s;
    if (lf.w(kCount) == 0) return Status::Corrupt(path(), "empty leaf");
    std::memcpy(p.key(k_, loc.idx), lf.key(k_, 1), k_);
    s = WritePage(loc.page, p);
    if (!s.ok()) return s;
    lf.set(kLower, lf.value(k_, 1));
    p = lf;
    gone->page_no = leaf;
    gone->slot = 1;
  }
  const uint32_t es = k_ + 4, j = gone->slot;
  uint32_t c = p.w(kCount);
  std::memmove(p.key(k_, j), p.key(k_, j + 1), size_t(c - j) * es);
  std::memset(p.key(k_, c), 0, es);
  p.set(kCount, c - 1);
  return Status::Ok();
}

// The position goes just before the key that followed the removed one, so
// that Next returns it. For a separator that key is the successor, which
// now sits at (leaf, 0): the place before it is the last entry of the
// leaf's left neighbour (there is one: the separator had keys on its left).
Status IndexFile::PositionAfterRemoval(const Removal& gone) {
  if (!gone.separator) {
    pos_ = {gone.page_no, gone.slot - 1};
    return Status::Ok();
  }
  const uint32_t left = gone.page.w(kLeft);
  if (left == 0) return Status::Corrupt(path(), "leaf after a separator without a left neighbour");
  Page lp;
  Status s = ReadPage(left, &lp);
  if (!s.ok()) return s;
  if (lp.w(kInner) != 0 || lp.w(kCount) == 0) return Status::Corrupt(path(), "bad left neighbour of a leaf");
  pos_ = {left, lp.w(kCount)};
  return Status::Ok();
}

// Page P (number pno, changed in memory) lost an entry. While it is a
// non-root page at most half full it merges with a sibling under the same
// parent, or borrows from one when a merge would not fit; a merge takes an
// entry from the parent, which is looked at next. Finally an empty root
// gives way to its only child (or the tree becomes empty).
Status IndexFile::RebalanceUpward(uint32_t pno, Page* p) {
  for (int level = 0; p->w(kParent) != 0 && p->w(kCount) <= m_ / 2; ++level) {
    if (level >= kMaxDepth) return Status::Corrupt(path(), "merge climbed past any valid depth");
    const uint32_t parent = p->w(kParent);
    bool settled = false;
    uint32_t parent_count = 0;
    Status s = MergeOrBorrow(pno, p, &settled, &parent_count);
    if (!s.ok() || settled) return s;
    // After a merge, go on with the parent.
    s = ReadPage(parent, p);
    if (!s.ok()) return s;
    pno = parent;
    if (parent_count > m_ / 2) return Status::Ok();
  }
  if (p->w(kCount) != 0) return WritePage(pno, *p);
  // Only the root can be left without entries.
  if (p->w(kInner) == 1) {
    const uint32_t child = p->w(kLower);
    Page cp;
    Status s = ReadPage(child, &cp);
    if (!s.ok()) return s;
    if (cp.w(kParent) != 0) {
      cp.set(kParent, 0);
      s = WritePage(child, cp);
      if (!s.ok()) return s;
    }
    header_.root = child;
  } else {
    header_.root = header_.leftmost = header_.rightmost = 0;
    if (pos_.page == pno) pos_ = IndexPosition();
  }
  return Release(pno, p);
}

// One step of the rebalancing of an under-full page P: merge with the right
// sibling when both fit in a page; else with the left one; else borrow from
// the left (or right) sibling, which settles the tree (*settled). After a
// merge *parent_count is the parent's new number of entries and P holds
// what was merged into it (or was merged away).
Status IndexFile::MergeOrBorrow(uint32_t pno, Page* p, bool* settled, uint32_t* parent_count) {
  const uint32_t parent = p->w(kParent);
  Page sib;
  Status s;
  *settled = false;
  if (p->w(kRight) != 0) {
    s = ReadPage(p->w(kRight), &sib);
    if (!s.ok()) return s;
    if (sib.w(kParent) == parent && sib.w(kCount) + p->w(kCount) < m_) {
      return Merge(pno, p, p->w(kRight), &sib, parent_count);
    }
  }
  if (p->w(kLeft) != 0) {
    const uint32_t lno = p->w(kLeft);
    s = ReadPage(lno, &sib);
    if (!s.ok()) return s;
    if (sib.w(kParent) == parent) {
      if (sib.w(kCount) + p->w(kCount) < m_) return Merge(lno, &sib, pno, p, parent_count);
      *settled = true;
      s = Rebalance(lno, &sib, pno, p);
      if (s.ok()) s = WritePage(lno, sib);
      if (s.ok()) s = WritePage(pno, *p);
      return s;
    }
  }
  const uint32_t rno = p->w(kRight);
  if (rno == 0) return Status::Corrupt(path(), "page without a sibling under its parent");
  s = ReadPage(rno, &sib);
  if (!s.ok()) return s;
  if (sib.w(kParent) != parent) return Status::Corrupt(path(), "page without a sibling under its parent");
  *settled = true;
  s = Rebalance(pno, p, rno, &sib);
  if (s.ok()) s = WritePage(pno, *p);
  if (s.ok()) s = WritePage(rno, sib);
  return s;
}

// ---------------------------------------------------------------------------
// 7. Verify

Status IndexFile::Verify(std::vector<std::pair<std::string, uint32_t>>* entries) {
  entries->clear();
  const std::string where = path();
  auto bad = [&](const std::string& what) { return Status::Corrupt(where, what); };
  std::set<uint32_t> in_tree;
  std::map<int, std::vector<uint32_t>> levels;  // pages of each level, left to right
  int leaf_depth = -1;
  // Recursive walk with explicit stack of (page, expected parent, depth, lo, hi).
  struct Frame {
    uint32_t page, parent;
    int depth;
    std::string lo, hi;  // empty = unbounded
  };
  std::vector<std::pair<std::string, uint32_t>> inorder_keys;  // (key, rec or 0 placeholder for separators)
  // In-order traversal needs recursion; depth is bounded by kMaxDepth.
  std::function<Status(const Frame&)> walk = [&](const Frame& f) -> Status {
    if (f.depth >= kMaxDepth) return bad("too deep");
    if (!in_tree.insert(f.page).second) return bad("page " + std::to_string(f.page) + " reached twice");
    Page pg;
    Status s = ReadPage(f.page, &pg);
    if (!s.ok()) return s;
    if (pg.w(kParent) != f.parent) return bad("page " + std::to_string(f.page) + " has a wrong parent word");
    uint32_t c = pg.w(kCount);
    if (c == 0) return bad("page " + std::to_string(f.page) + " without entries");
    levels[f.depth].push_back(f.page);
    std::string prev = f.lo;
    for (uint32_t i = 1; i <= c; ++i) {
      std::string key(reinterpret_cast<const char*>(pg.key(k_, i)), k_);
      if (!prev.empty() && Compare(reinterpret_cast<const uint8_t*>(prev.data()),
                                   reinterpret_cast<const uint8_t*>(key.data())) > 0) {
        return bad("keys out of order in page " + std::to_string(f.page));
      }
      if (!f.hi.empty() && Compare(reinterpret_cast<const uint8_t*>(key.data()),
                                   reinterpret_cast<const uint8_t*>(f.hi.data())) > 0) {
        return bad("key above its bound in page " + std::to_string(f.page));
      }
      prev = key;
    }
    if (pg.w(kInner) == 0) {
      if (leaf_depth < 0) leaf_depth = f.depth;
      if (leaf_depth != f.depth) return bad("leaves at different depths");
      for (uint32_t i = 1; i <= c; ++i) {
        inorder_keys.emplace_back(std::string(reinterpret_cast<const char*>(pg.key(k_, i)), k_), pg.value(k_, i));
      }
      return Status::Ok();
    }
    for (uint32_t i = 0; i <= c; ++i) {
      Frame child{i == 0 ? pg.w(kLower) : pg.value(k_, i), f.page, f.depth + 1,
                  i == 0 ? f.lo : std::string(reinterpret_cast<const char*>(pg.key(k_, i)), k_),
                  i == c ? f.hi : std::string(reinterpret_cast<const char*>(pg.key(k_, i + 1)), k_)};
      if (i >= 1) {
        // The separator's record number is the lower word of the leftmost
        // leaf of its right subtree; fill it in below.
        inorder_keys.emplace_back(std::string(reinterpret_cast<const char*>(pg.key(k_, i)), k_), 0);
        uint32_t leaf;
        s = DescendTo(child.page, true, &leaf);
        if (!s.ok()) return s;
        Page lf;
        s = ReadPage(leaf, &lf);
        if (!s.ok()) return s;
        inorder_keys.back().second = lf.w(kLower);
      }
      s = walk(child);
      if (!s.ok()) return s;
    }
    return Status::Ok();
  };
  if (header_.root != 0) {
    Status s = walk(Frame{header_.root, 0, 0, "", ""});
    if (!s.ok()) return s;
    // Sibling links per level.
    for (auto& [depth, pages] : levels) {
      for (size_t i = 0; i < pages.size(); ++i) {
        Page pg;
        s = ReadPage(pages[i], &pg);
        if (!s.ok()) return s;
        uint32_t want_left = i == 0 ? 0 : pages[i - 1];
        uint32_t want_right = i + 1 == pages.size() ? 0 : pages[i + 1];
        if (pg.w(kLeft) != want_left || pg.w(kRight) != want_right) {
          return bad("sibling links of page " + std::to_string(pages[i]) + " are wrong");
        }
      }
    }
    const auto& leaves = levels[leaf_depth];
    if (header_.leftmost != leaves.front() || header_.rightmost != leaves.back()) {
      return bad("leftmost or rightmost leaf word is wrong");
    }
    // Lower words of leaves: walking the leaves with position 0 must give
    // the in-order record numbers.
    std::vector<uint32_t> walk_recs;
    for (size_t i = 0; i < leaves.size(); ++i) {
      Page pg;
      s = ReadPage(leaves[i], &pg);
      if (!s.ok()) return s;
      if (i == 0 && pg.w(kLower) != 0) return bad("leftmost leaf's lower word is not 0");
      if (i > 0) walk_recs.push_back(pg.w(kLower));
      for (uint32_t j = 1; j <= pg.w(kCount); ++j) walk_recs.push_back(pg.value(k_, j));
    }
    if (walk_recs.size() != inorder_keys.size()) return bad("leaf walk and tree disagree in size");
    for (size_t i = 0; i < walk_recs.size(); ++i) {
      if (walk_recs[i] != inorder_keys[i].second) return bad("leaf walk and tree disagree in record numbers");
    }
  } else if (header_.leftmost != 0 || header_.rightmost != 0) {
    return bad("empty tree with leftmost or rightmost leaf");
  }
  // Every page is in the tree or released, once.
  std::set<uint32_t> released;
  for (uint32_t at = header_.released_head; at != 0;) {
    if (at >= header_.next_page || in_tree.count(at) || !released.insert(at).second) {
      return bad("released list is wrong at page " + std::to_string(at));
    }
    Page pg;
    Status s = LoadPage(at, &pg);
    if (!s.ok()) return s;
    at = pg.w(kParent);
  }
  if (in_tree.size() + released.size() != header_.next_page - 1) return bad("pages leaked");
  *entries = std::move(inorder_keys);
  return Status::Ok();
}

// ---------------------------------------------------------------------------
// 8. Scan of a file as it lies on disk

Status ScanIndexFile(const std::string& path, uint32_t key_length, IndexScan* scan) {
  *scan = IndexScan();
  File f;
  uint64_t size = 0;
  Status s = File::OpenReadOnly(path, &f, &size);
  if (!s.ok()) return s;
  if (size < kPageSize) {
    scan->problem = "shorter than its header page";
    return Status::Ok();
  }
  uint8_t h[kIndexHeaderSize];
  s = f.ReadAt(0, h, sizeof h);
  if (!s.ok()) return s;
  const uint32_t k = GetU32(h + 4), m = GetU32(h + 8), next = GetU32(h + 16), in_use = GetU32(h + 20);
  scan->in_use = in_use != 0;
  if (k != key_length || m != 1000 / (key_length + 4) || in_use > 1) {
    scan->problem = "header does not match the index";
    return Status::Ok();
  }
  if (next == 0 || uint64_t(next) * kPageSize > size) {
    scan->problem = "next unused page beyond the end of the file";
    return Status::Ok();
  }
  bool usable = true;
  constexpr uint32_t kChunk = 256;
  std::vector<uint8_t> buf(size_t(kChunk) * kPageSize);
  for (uint32_t first = 1; first < next; first += kChunk) {
    const uint32_t count = std::min(kChunk, next - first);
    s = f.ReadAt(uint64_t(first) * kPageSize, buf.data(), size_t(count) * kPageSize);
    if (!s.ok()) return s;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* pg = buf.data() + size_t(i) * kPageSize;
      const uint32_t inner = GetU32(pg + kInner), c = GetU32(pg + kCount);
      if (inner > 1 || c > m) {
        if (usable) scan->problem = "page " + std::to_string(first + i) + " fails its checks";
        usable = false;
        continue;
      }
      scan->keys += c;
      if (inner == 1) continue;
      scan->max_record = std::max(scan->max_record, GetU32(pg + kLower));
      for (uint32_t j = 1; j <= c; ++j) scan->max_record = std::max(scan->max_record, GetU32(pg + EntryOff(k, j) + k));
    }
  }
  scan->usable = usable;
  return Status::Ok();
}

}  // namespace groupdb
