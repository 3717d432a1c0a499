// wire.h: unaligned-safe access to the 32-bit words of PCF records and
// headers, and the record offsets shared by the PCF sources.
//
// Records sit at 4-byte multiples inside a malloc'd body, but bytes from the
// wire or a file are checked only after they are read, so every read goes
// through memcpy (one plain load once compiled).
#ifndef PCFCORE_SRC_WIRE_H_
#define PCFCORE_SRC_WIRE_H_

#include <cstdint>
#include <cstring>

#include <mqi/mqi.h>

namespace pcfcore {

inline MQLONG Load32(const void* p) {
  MQLONG v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Store32(void* p, MQLONG v) { std::memcpy(p, &v, sizeof v); }

inline MQLONG LoadField(const unsigned char* record, int word) {
  return Load32(record + 4 * word);
}

inline void StoreField(unsigned char* record, int word, MQLONG v) {
  Store32(record + 4 * word, v);
}

// Word numbers shared by every record type.
constexpr int kType = 0;
constexpr int kStrucLength = 1;
constexpr int kParameter = 2;

// MQCFH words.
constexpr int kCfhVersion = 2;
constexpr int kCfhCommand = 3;
constexpr int kCfhMsgSeqNumber = 4;
constexpr int kCfhControl = 5;
constexpr int kCfhCompCode = 6;
constexpr int kCfhReason = 7;
constexpr int kCfhParameterCount = 8;

// MQCFIN: Value. MQCFIL: Count, then the values.
constexpr int kIntValue = 3;
constexpr int kIntListCount = 3;
constexpr int kIntListFixed = 16;

// MQCFST (and the suite's 998 and 999): CodedCharSetId, StringLength, text.
constexpr int kStrCcsid = 3;
constexpr int kStrLength = 4;
constexpr int kStrFixed = 20;

// MQCFSL: CodedCharSetId, Count, StringLength, then the strings.
constexpr int kStrListCcsid = 3;
constexpr int kStrListCount = 4;
constexpr int kStrListLength = 5;
constexpr int kStrListFixed = 24;

// Copies n bytes between regions that do not overlap. Records are mostly
// 16 to 64 bytes; those are copied inline, in overlapping 16-byte moves held
// in vector registers, instead of a call into the C library.
[[gnu::always_inline]] inline void CopyBytes(unsigned char* to, const unsigned char* from, size_t n) {
  typedef unsigned char V16 __attribute__((vector_size(16)));
  if (n >= 16 && n <= 32) {
    // Moves at 0 and n - 16 cover [0, n), both loaded before either is stored.
    V16 a, b;
    std::memcpy(&a, from, 16);
    std::memcpy(&b, from + n - 16, 16);
    std::memcpy(to, &a, 16);
    std::memcpy(to + n - 16, &b, 16);
  } else if (n > 32 && n <= 64) {
    // Moves at 0, 16, n - 32 and n - 16.
    V16 a, b, c, d;
    std::memcpy(&a, from, 16);
    std::memcpy(&b, from + 16, 16);
    std::memcpy(&c, from + n - 32, 16);
    std::memcpy(&d, from + n - 16, 16);
    std::memcpy(to, &a, 16);
    std::memcpy(to + 16, &b, 16);
    std::memcpy(to + n - 32, &c, 16);
    std::memcpy(to + n - 16, &d, 16);
  } else {
    std::memcpy(to, from, n);
  }
}

// Copies 32 bytes between regions that do not overlap.
[[gnu::always_inline]] inline void Copy32(unsigned char* to, const unsigned char* from) {
  typedef unsigned char V16 __attribute__((vector_size(16)));
  V16 a, b;
  std::memcpy(&a, from, 16);
  std::memcpy(&b, from + 16, 16);
  std::memcpy(to, &a, 16);
  std::memcpy(to + 16, &b, 16);
}

// Copies 64 bytes between regions that do not overlap.
[[gnu::always_inline]] inline void Copy64(unsigned char* to, const unsigned char* from) {
  typedef unsigned char V16 __attribute__((vector_size(16)));
  V16 a, b, c, d;
  std::memcpy(&a, from, 16);
  std::memcpy(&b, from + 16, 16);
  std::memcpy(&c, from + 32, 16);
  std::memcpy(&d, from + 48, 16);
  std::memcpy(to, &a, 16);
  std::memcpy(to + 16, &b, 16);
  std::memcpy(to + 32, &c, 16);
  std::memcpy(to + 48, &d, 16);
}

constexpr int64_t RoundUp4(int64_t n) { return (n + 3) & ~int64_t{3}; }

}  // namespace pcfcore

#endif  // PCFCORE_SRC_WIRE_H_
