// Fuzz target: a table's data file and index files built from the input,
// opened and walked by the engine. Checks that no input crashes, hangs or
// reads out of bounds: every header, record number, page and link comes
// from the input.
//
// Input: byte 0 picks the table (mod 22); then, for the data file and for
// each index file in turn, a u32 little-endian length and that many bytes
// (a missing or short part becomes an empty file). The seed corpus holds
// real tables written by the engine in this layout.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "data_file.h"
#include "dictionary.h"
#include "engine.h"
#include "file_util.h"
#include "index_file.h"

namespace {

const std::string& Dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/groupdb-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    static std::string made = d;
    std::atexit([] { rmdir(made.c_str()); });
    return std::string(d) + "/";
  }();
  return dir;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t n) {
  groupdb::File f;
  if (!groupdb::File::Create(path, &f).ok()) std::abort();
  if (n > 0 && !f.WriteAt(0, data, n).ok()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace groupdb;
  if (size < 1) return 0;
  const int t = data[0] % kTableCount;
  const TableDef* td = TableByNumber(t);
  size_t at = 1;
  std::vector<std::string> written;
  for (int part = 0; part <= td->index_count; ++part) {
    uint32_t len = 0;
    if (at + 4 <= size) {
      len = GetU32(data + at);
      at += 4;
    }
    if (len > size - at) len = static_cast<uint32_t>(size - at);
    std::string path = part == 0 ? DataFilePath(Dir(), t) : IndexFilePath(Dir(), t, part);
    WriteFile(path, data + at, len);
    written.push_back(path);
    at += len;
  }

  DataScan scan;
  (void)ScanDataFile(DataFilePath(Dir(), t), t, &scan);

  Engine e;
  if (e.LockAndOpen(Dir(), {t}).ok()) {
    std::vector<uint8_t> rec(td->record_length);
    for (int n = 1; n <= td->index_count; ++n) {
      std::vector<std::pair<std::string, uint32_t>> entries;
      (void)e.index(t, n)->Verify(&entries);
      int steps = 0;
      for (Status s = e.First(t, n, rec.data()); s.ok() && steps < 2000; s = e.Next(t, n, rec.data())) ++steps;
      steps = 0;
      for (Status s = e.Last(t, n, rec.data()); s.ok() && steps < 2000; s = e.Prev(t, n, rec.data())) ++steps;
      // Look up keys taken from the input itself.
      std::vector<uint8_t> key(IndexKeyLength(t, n), ' ');
      for (size_t i = 0; i < key.size() && i + 1 < size; ++i) key[i] = data[size - 1 - i];
      (void)e.Find(t, n, key.data(), rec.data());
    }
    int steps = 0;
    for (Status s = e.SeqNext(t, rec.data()); s.ok() && steps < 2000; s = e.SeqNext(t, rec.data())) ++steps;
    // Change the table: an add (splits), then delete what the walk met.
    std::vector<uint8_t> fresh(td->record_length, 'F');
    (void)e.Add(t, fresh.data());
    if (e.First(t, 1, rec.data()).ok()) (void)e.Delete(t);
    e.Abandon();
  }
  for (const auto& p : written) (void)RemoveFile(p);
  (void)RemoveFile(LockFilePath(Dir()));
  return 0;
}
