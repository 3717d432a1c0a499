// Fuzz target: the header chain walker and the matcher over any message.
// Input: 364 bytes of MQMD (short input is zero-filled), then the data.
#include <cstdint>
#include <cstring>
#include <span>

#include "header_chain.h"
#include "matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  MQMD md{};
  size_t md_bytes = size < sizeof md ? size : sizeof md;
  std::memcpy(&md, bytes, md_bytes);
  std::span<const uint8_t> data(bytes + md_bytes, size - md_bytes);
  msgops::HeaderChain chain = msgops::WalkHeaderChain(md, data);
  // What the walker reports must lie inside the data.
  if (chain.header_length > data.size()) __builtin_trap();
  if (chain.dlh && chain.dlh_offset + MQDLH_LENGTH_1 > data.size()) __builtin_trap();
  if (chain.xqh && chain.xqh_offset + MQXQH_LENGTH_1 > data.size()) __builtin_trap();
  return 0;
}
