// test_util.h: helpers shared by the database tests: the suite's temporary
// directory (testsupport's TempDir: private, removed at the end, kept with
// HARROW_KEEP_TEMP), the seed of randomized tests (printed, and taken from
// GROUPDB_SEED when set), and a time budget for bounded loops.
#ifndef GROUPDB_TESTS_TEST_UTIL_H_
#define GROUPDB_TESTS_TEST_UTIL_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"

namespace groupdb::testing {

using harrow::testsupport::TempDir;

inline uint64_t TestSeed(const char* test_name) {
  uint64_t seed;
  if (const char* env = std::getenv("GROUPDB_SEED")) {
    seed = std::strtoull(env, nullptr, 0);
  } else {
    seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  std::printf("%s: seed %llu (set GROUPDB_SEED=%llu to repeat)\n", test_name, static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(seed));
  std::fflush(stdout);
  return seed;
}

class Deadline {
 public:
  explicit Deadline(double seconds)
      : end_(std::chrono::steady_clock::now() +
             std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds))) {}
  bool passed() const { return std::chrono::steady_clock::now() >= end_; }

 private:
  std::chrono::steady_clock::time_point end_;
};

inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

inline void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline uint32_t WordAt(const std::vector<uint8_t>& b, size_t off) {
  return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24;
}

inline void PutWord(std::vector<uint8_t>& b, size_t off, uint32_t v) {
  b[off] = uint8_t(v);
  b[off + 1] = uint8_t(v >> 8);
  b[off + 2] = uint8_t(v >> 16);
  b[off + 3] = uint8_t(v >> 24);
}

}  // namespace groupdb::testing

#endif  // GROUPDB_TESTS_TEST_UTIL_H_
