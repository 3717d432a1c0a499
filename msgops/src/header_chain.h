// header_chain.h: the IBM headers at the start of a message's data.
//
// A message may carry, in this order, an MQMDE, then an MQXQH or an MQDLH,
// and after an MQXQH an MQDLH. Which header comes next is said by the Format
// of the structure before it (MQMD, MQMDE or the MQXQH's own descriptor).
// The walker believes a Format only when the bytes are really there: the
// header must fit in the data, carry its StrucId and a sane version (and
// for the MQMDE the StrucLength 72). Anything else ends the chain and the
// bytes stay message data. Every header is copied out, so the data needs no
// alignment and may be any bytes at all.
#ifndef MSGOPS_HEADER_CHAIN_H_
#define MSGOPS_HEADER_CHAIN_H_

#include <mqi/mqi.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace msgops {

struct HeaderChain {
  MQLONG flags = 1;           // MG_HDR_* bits: 1 (MQMD) always
  size_t header_length = 0;   // bytes of headers before the application data
  std::optional<MQMDE> mde;   // at offset 0
  std::optional<MQXQH> xqh;   // at xqh_offset
  std::optional<MQDLH> dlh;   // at dlh_offset
  size_t xqh_offset = 0;
  size_t dlh_offset = 0;
  // Format of the application data behind the last header.
  char data_format[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
};

HeaderChain WalkHeaderChain(const MQMD& md, std::span<const uint8_t> data);

// Single-header probes used by the walker and by copy and move: the header
// at `offset`, or nothing when it is not really there.
std::optional<MQMDE> ReadMde(std::span<const uint8_t> data, size_t offset);
std::optional<MQXQH> ReadXqh(std::span<const uint8_t> data, size_t offset);
std::optional<MQDLH> ReadDlh(std::span<const uint8_t> data, size_t offset);

bool FormatIs(const char* format8, const char* name8);

}  // namespace msgops

#endif  // MSGOPS_HEADER_CHAIN_H_
