// Byte scrambling under a caller's key: nibble exchange and exclusive or.

#include "pcfcore/scramble.h"

#include <cstdint>
#include <cstring>

#include "pcfcore/convert.h"

namespace {

// The exclusive or of the key's four bytes; byte order does not matter.
unsigned char KeyMask(MQLONG key) {
  uint32_t k = static_cast<uint32_t>(key);
  return static_cast<unsigned char>((k ^ (k >> 8) ^ (k >> 16) ^ (k >> 24)) & 0xFF);
}

}  // namespace

extern "C" {

int EncryptMsg(void* bytes, MQLONG length, MQLONG key) {
  if (length < 1 || bytes == nullptr) return 1;
  unsigned char mask = KeyMask(key);
  unsigned char* p = static_cast<unsigned char*>(bytes);
  for (MQLONG i = 0; i < length; ++i) p[i] = static_cast<unsigned char>(bwbyte(p[i]) ^ mask);
  return 1;
}

int DecryptMsg(void* bytes, MQLONG length, MQLONG key) {
  if (length < 1 || bytes == nullptr) return 1;
  unsigned char mask = KeyMask(key);
  unsigned char* p = static_cast<unsigned char*>(bytes);
  for (MQLONG i = 0; i < length; ++i) p[i] = bwbyte(static_cast<unsigned char>(p[i] ^ mask));
  return 1;
}

MQLONG DecryptLong(MQLONG value, MQLONG key) {
  unsigned char bytes[4];
  std::memcpy(bytes, &value, 4);
  DecryptMsg(bytes, 4, key);
  MQLONG result;
  std::memcpy(&result, bytes, 4);
  return result;
}

}  // extern "C"
