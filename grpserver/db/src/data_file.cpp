// data_file.cpp: data file layer (header, records, free list, scan).
#include "data_file.h"

#include <algorithm>
#include <cstring>

#include "dictionary.h"

namespace groupdb {

bool IsDeletedRecord(const uint8_t* rec, int length) {
  if (length < 8 || GetU32(rec) != kDeletedMark) return false;
  for (int i = 8; i < length; ++i) {
    if (rec[i] != 0) return false;
  }
  return true;
}

bool IsWellFormedRecord(int table_no, const uint8_t* rec) {
  const TableDef* td = TableByNumber(table_no);
  if (td == nullptr) return false;
  if (GetU32(rec) == kDeletedMark) return false;
  int off = 0;
  for (int i = 0; i < td->field_count; ++i) {
    off += FieldByNumber(td->fields[i])->width;
    if (rec[off] != 0) return false;
    ++off;
  }
  return true;
}

// ---- Read cache
//
// Records are read through a cache of 4 KB blocks of the file, kept up to a
// budget shared by all data files (then the oldest blocks go). Writes go to
// the file at once, as before, and update the cached blocks they touch, so
// the cache never holds anything the file lacks.

constexpr size_t kBlockSize = 4096;

struct DataFile::Block {
  uint8_t b[kBlockSize];
  size_t valid = 0;  // bytes of the block that the file holds
};

namespace {

size_t g_data_budget = size_t(128) << 20;
size_t g_data_cached = 0;

}  // namespace

void SetDataCacheBudget(size_t bytes) { g_data_budget = bytes < kBlockSize ? kBlockSize : bytes; }

DataFile::DataFile() = default;
DataFile::~DataFile() { Close(); }

void DataFile::DropCache() {
  g_data_cached -= resident_.size() * kBlockSize;
  blocks_.clear();
  resident_.clear();
}

Status DataFile::LoadBlock(uint64_t block_no, Block** block, bool read) {
  if (block_no >= blocks_.size() || blocks_[block_no] == nullptr) {
    while (g_data_cached + kBlockSize > g_data_budget && !resident_.empty()) {
      blocks_[resident_.front()].reset();
      resident_.pop_front();
      g_data_cached -= kBlockSize;
    }
    if (block_no >= blocks_.size()) blocks_.resize(std::max<size_t>(block_no + 1, blocks_.size() * 2));
    blocks_[block_no] = std::make_unique<Block>();
    resident_.push_back(block_no);
    g_data_cached += kBlockSize;
  }
  Block* blk = blocks_[block_no].get();
  const uint64_t start = block_no * kBlockSize;
  const size_t want = file_size_ > start ? size_t(std::min<uint64_t>(kBlockSize, file_size_ - start)) : 0;
  if (read && blk->valid < want) {
    Status s = file_.ReadAt(start + blk->valid, blk->b + blk->valid, want - blk->valid);
    if (!s.ok()) return s;
    blk->valid = want;
  }
  *block = blk;
  return Status::Ok();
}

Status DataFile::ReadBytes(uint64_t offset, uint8_t* buf, size_t n) {
  if (offset + n > file_size_) return file_.ReadAt(offset, buf, n);  // reports the short read
  while (n > 0) {
    Block* blk = nullptr;
    Status s = LoadBlock(offset / kBlockSize, &blk);
    if (!s.ok()) return s;
    const size_t at = size_t(offset % kBlockSize), take = std::min(n, kBlockSize - at);
    std::memcpy(buf, blk->b + at, take);
    buf += take;
    offset += take;
    n -= take;
  }
  return Status::Ok();
}

Status DataFile::CreateEmpty(const std::string& path, uint32_t record_length) {
  File f;
  Status s = File::Create(path, &f);
  if (!s.ok()) return s;
  uint8_t h[kDataHeaderSize];
  PutU32(h, 0);
  PutU32(h + 4, 1);
  PutU32(h + 8, record_length);
  s = f.WriteAt(0, h, sizeof h);
  if (!s.ok()) return s;
  return f.Sync();
}

Status DataFile::Open(const std::string& path, int table_no) { return OpenChecked(path, table_no, true); }

Status DataFile::OpenForRepair(const std::string& path, int table_no) { return OpenChecked(path, table_no, false); }

Status DataFile::OpenChecked(const std::string& path, int table_no, bool walk_free_list) {
  Close();
  const TableDef* td = TableByNumber(table_no);
  if (td == nullptr) return Status(kCorrupt, "bad table number");
  File f;
  Status s = File::OpenExisting(path, &f);
  if (!s.ok()) return s;
  uint64_t size = 0;
  s = f.Size(&size);
  if (!s.ok()) return s;
  if (size < kDataHeaderSize) return Status::Corrupt(path, "file shorter than its header");
  uint8_t h[kDataHeaderSize];
  s = f.ReadAt(0, h, sizeof h);
  if (!s.ok()) return s;
  DataHeader hd{GetU32(h), GetU32(h + 4), GetU32(h + 8)};
  if (hd.record_length != static_cast<uint32_t>(td->record_length)) {
    return Status::Corrupt(path, "record length " + std::to_string(hd.record_length) + " is not " +
                                     std::to_string(td->record_length));
  }
  if (hd.next_record == 0) return Status::Corrupt(path, "next record number 0");
  uint64_t need = kDataHeaderSize + uint64_t(hd.next_record - 1) * hd.record_length;
  if (size < need) return Status::Corrupt(path, "file ends before record " + std::to_string(hd.next_record - 1));
  // An add that was cut off leaves at most one uncounted record; more is a
  // next record number that lost records it once counted.
  if (size > need + hd.record_length) return Status::Corrupt(path, "data beyond the next record number");
  // Walk the free list: every link in range, every slot a deleted record, no
  // cycle (at most next - 1 steps).
  std::vector<uint8_t> rec(hd.record_length);
  uint32_t at = walk_free_list ? hd.free_head : 0;
  for (uint32_t steps = 0; at != 0; ++steps) {
    if (at >= hd.next_record || steps >= hd.next_record) {
      return Status::Corrupt(path, "free list link " + std::to_string(at) + " out of range or looping");
    }
    s = f.ReadAt(kDataHeaderSize + uint64_t(at - 1) * hd.record_length, rec.data(), rec.size());
    if (!s.ok()) return s;
    if (!IsDeletedRecord(rec.data(), hd.record_length)) {
      return Status::Corrupt(path, "free list names record " + std::to_string(at) + ", which is not deleted");
    }
    at = GetU32(rec.data() + 4);
  }
  file_ = std::move(f);
  header_ = hd;
  file_size_ = size;
  table_no_ = table_no;
  length_ = static_cast<int>(hd.record_length);
  return Status::Ok();
}

void DataFile::Close() {
  DropCache();
  file_size_ = 0;
  file_.Close();
  table_no_ = -1;
  length_ = 0;
}

Status DataFile::WriteBytes(uint64_t offset, const uint8_t* buf, size_t n) {
  Status s = file_.WriteAt(offset, buf, n);
  if (!s.ok()) {
    DropCache();  // the file's bytes there are unknown now
    return s;
  }
  const uint64_t old_size = file_size_;
  file_size_ = std::max<uint64_t>(file_size_, offset + n);
  for (uint64_t block_no = offset / kBlockSize; block_no * kBlockSize < offset + n; ++block_no) {
    const uint64_t start = block_no * kBlockSize;
    const uint64_t from = std::max(offset, start), to = std::min<uint64_t>(offset + n, start + kBlockSize);
    if (block_no >= blocks_.size() || blocks_[block_no] == nullptr) {
      // A block that an append begins holds nothing but what is written
      // now: cache it, so that records just added are read from memory.
      if (from != start || start < old_size) continue;
      Block* fresh = nullptr;
      Status c = LoadBlock(block_no, &fresh, false);
      if (!c.ok()) {
        DropCache();
        continue;
      }
    }
    Block* blk = blocks_[block_no].get();
    if (from - start > blk->valid) continue;  // a gap: read when needed
    std::memcpy(blk->b + (from - start), buf + (from - offset), size_t(to - from));
    blk->valid = std::max<size_t>(blk->valid, size_t(to - start));
  }
  return s;
}

Status DataFile::Sync() { return file_.SyncIfWritten(); }

Status DataFile::WriteHeader() {
  uint8_t h[kDataHeaderSize];
  PutU32(h, header_.free_head);
  PutU32(h + 4, header_.next_record);
  PutU32(h + 8, header_.record_length);
  return WriteBytes(0, h, sizeof h);
}

Status DataFile::Read(uint32_t n, uint8_t* buf) {
  if (n == 0 || n >= header_.next_record) {
    return Status::Corrupt(path(), "record number " + std::to_string(n) + " out of range");
  }
  return ReadBytes(kDataHeaderSize + uint64_t(n - 1) * length_, buf, length_);
}

Status DataFile::Write(uint32_t n, const uint8_t* buf) {
  if (n == 0 || n >= header_.next_record) {
    return Status::Corrupt(path(), "record number " + std::to_string(n) + " out of range");
  }
  return WriteBytes(kDataHeaderSize + uint64_t(n - 1) * length_, buf, length_);
}

// A process killed inside a write that spans a page boundary of the file
// leaves the first pages written and the rest not. A record put into a
// free slot is therefore written page by page from its last page back, so
// that its first bytes, which cover the deleted mark, go last: a kill part
// way leaves the slot a deleted record with a dirty tail, which repair
// reclaims, never half a record that reads as live.
Status DataFile::WriteLastPageFirst(uint64_t offset, const uint8_t* buf, size_t n) {
  uint64_t end = offset + n;
  while (end > offset) {
    const uint64_t from = std::max(offset, (end - 1) / kBlockSize * kBlockSize);
    Status s = WriteBytes(from, buf + (from - offset), size_t(end - from));
    if (!s.ok()) return s;
    end = from;
  }
  return Status::Ok();
}

Status DataFile::NewRecord(const uint8_t* buf, uint32_t* n) {
  if (header_.free_head != 0) {
    uint32_t slot = header_.free_head;
    std::vector<uint8_t> old(length_);
    Status s = Read(slot, old.data());
    if (!s.ok()) return s;
    uint32_t link = GetU32(old.data() + 4);
    if (!IsDeletedRecord(old.data(), length_) || link >= header_.next_record || link == slot) {
      return Status::Corrupt(path(), "free list head " + std::to_string(slot) + " is not a free record");
    }
    header_.free_head = link;
    s = WriteHeader();
    if (!s.ok()) {
      header_.free_head = slot;
      return s;
    }
    s = WriteLastPageFirst(kDataHeaderSize + uint64_t(slot - 1) * length_, buf, length_);
    if (!s.ok()) return s;  // the slot stays deleted and off the list; repair reclaims it
    *n = slot;
    return Status::Ok();
  }
  if (header_.next_record == 0xFFFFFFFFu) return Status(kIoError, path() + ": record numbers exhausted");
  uint32_t slot = header_.next_record;
  Status s = WriteBytes(kDataHeaderSize + uint64_t(slot - 1) * length_, buf, length_);
  if (!s.ok()) return s;
  header_.next_record = slot + 1;
  s = WriteHeader();
  if (!s.ok()) {
    header_.next_record = slot;
    return s;
  }
  *n = slot;
  return Status::Ok();
}

Status DataFile::Delete(uint32_t n) {
  std::vector<uint8_t> rec(length_);
  Status s = Read(n, rec.data());
  if (!s.ok()) return s;
  if (GetU32(rec.data()) == kDeletedMark) return Status(kNotFound, path() + ": record already deleted");
  std::memset(rec.data(), 0, rec.size());
  PutU32(rec.data(), kDeletedMark);
  PutU32(rec.data() + 4, header_.free_head);
  s = Write(n, rec.data());
  if (!s.ok()) return s;
  uint32_t old_head = header_.free_head;
  header_.free_head = n;
  s = WriteHeader();
  if (!s.ok()) header_.free_head = old_head;
  return s;
}

Status DataFile::RebuildFreeList() {
  std::vector<uint8_t> rec(length_);
  uint32_t head = 0;
  for (uint32_t n = 1; n < header_.next_record; ++n) {
    Status s = Read(n, rec.data());
    if (!s.ok()) return s;
    if (GetU32(rec.data()) != kDeletedMark) continue;
    // Normalise a deleted record (its tail may be anything after a torn
    // write) and chain it.
    std::memset(rec.data(), 0, rec.size());
    PutU32(rec.data(), kDeletedMark);
    PutU32(rec.data() + 4, head);
    s = Write(n, rec.data());
    if (!s.ok()) return s;
    head = n;
  }
  header_.free_head = head;
  return WriteHeader();
}

Status ScanDataFile(const std::string& path, int table_no, DataScan* scan) {
  *scan = DataScan();
  const TableDef* td = TableByNumber(table_no);
  if (td == nullptr) return Status(kCorrupt, "bad table number");
  File f;
  uint64_t size = 0;
  Status s = File::OpenReadOnly(path, &f, &size);
  if (!s.ok()) return s;
  if (size < kDataHeaderSize) {
    scan->problem = "file shorter than its header";
    return Status::Ok();
  }
  uint8_t h[kDataHeaderSize];
  s = f.ReadAt(0, h, sizeof h);
  if (!s.ok()) return s;
  scan->header = {GetU32(h), GetU32(h + 4), GetU32(h + 8)};
  const DataHeader& hd = scan->header;
  const uint32_t len = static_cast<uint32_t>(td->record_length);
  if (hd.record_length != len) {
    scan->problem = "record length " + std::to_string(hd.record_length);
    return Status::Ok();
  }
  if (hd.next_record == 0 || size < kDataHeaderSize + uint64_t(hd.next_record - 1) * len) {
    scan->problem = "next record number " + std::to_string(hd.next_record) + " beyond the end of the file";
    return Status::Ok();
  }
  if (size > kDataHeaderSize + uint64_t(hd.next_record) * len) {
    scan->problem = "data beyond next record number " + std::to_string(hd.next_record);
    return Status::Ok();
  }
  scan->header_ok = true;
  scan->records_ok = true;
  std::vector<uint8_t> all;
  std::vector<uint8_t> deleted_link(hd.next_record, 0);  // 1 = deleted
  std::vector<uint8_t> rec(len);
  for (uint32_t n = 1; n < hd.next_record; ++n) {
    s = f.ReadAt(kDataHeaderSize + uint64_t(n - 1) * len, rec.data(), len);
    if (!s.ok()) return s;
    if (GetU32(rec.data()) == kDeletedMark) {
      ++scan->deleted;
      deleted_link[n] = 1;
      if (!IsDeletedRecord(rec.data(), len) && scan->records_ok) {
        // A deleted record with a dirty tail is harmless (repair rewrites
        // it) but is noted.
        if (scan->problem.empty()) scan->problem = "deleted record " + std::to_string(n) + " not zeroed";
      }
    } else if (IsWellFormedRecord(table_no, rec.data())) {
      ++scan->live;
    } else if (scan->records_ok) {
      scan->records_ok = false;
      scan->problem = "record " + std::to_string(n) + " is not well formed";
    }
  }
  // The free list must hold every deleted record exactly once.
  uint32_t at = hd.free_head;
  uint32_t seen = 0;
  bool chain_ok = true;
  while (at != 0) {
    if (at >= hd.next_record || deleted_link[at] != 1) {
      chain_ok = false;
      break;
    }
    deleted_link[at] = 2;
    ++seen;
    s = f.ReadAt(kDataHeaderSize + uint64_t(at - 1) * len + 4, h, 4);
    if (!s.ok()) return s;
    at = GetU32(h);
  }
  scan->free_list_ok = chain_ok && seen == scan->deleted;
  if (!scan->free_list_ok && scan->problem.empty()) scan->problem = "free list does not hold every deleted record";
  return Status::Ok();
}

}  // namespace groupdb
