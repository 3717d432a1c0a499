// header_chain.cpp: bounds-checked walk of MQMDE, MQXQH and MQDLH.
#include "header_chain.h"

#include <cstring>

#include <msgops/protocol.h>

namespace msgops {
namespace {

template <class T>
std::optional<T> Copy(std::span<const uint8_t> data, size_t offset, size_t length, const char* struc_id) {
  if (offset > data.size() || data.size() - offset < length) return std::nullopt;
  if (std::memcmp(data.data() + offset, struc_id, 4) != 0) return std::nullopt;
  T header;
  std::memcpy(&header, data.data() + offset, sizeof header);
  return header;
}

}  // namespace

bool FormatIs(const char* format8, const char* name8) { return std::memcmp(format8, name8, 8) == 0; }

std::optional<MQMDE> ReadMde(std::span<const uint8_t> data, size_t offset) {
  auto mde = Copy<MQMDE>(data, offset, MQMDE_LENGTH_2, MQMDE_STRUC_ID);
  // The chain goes on at StrucLength, so only the one length this version
  // has is believed; a larger claim could point anywhere.
  if (mde && (mde->Version != MQMDE_VERSION_2 || mde->StrucLength != MQMDE_LENGTH_2)) return std::nullopt;
  return mde;
}

std::optional<MQXQH> ReadXqh(std::span<const uint8_t> data, size_t offset) {
  auto xqh = Copy<MQXQH>(data, offset, MQXQH_LENGTH_1, MQXQH_STRUC_ID);
  if (xqh && xqh->Version != MQXQH_VERSION_1) return std::nullopt;
  return xqh;
}

std::optional<MQDLH> ReadDlh(std::span<const uint8_t> data, size_t offset) {
  auto dlh = Copy<MQDLH>(data, offset, MQDLH_LENGTH_1, MQDLH_STRUC_ID);
  if (dlh && dlh->Version != MQDLH_VERSION_1) return std::nullopt;
  return dlh;
}

HeaderChain WalkHeaderChain(const MQMD& md, std::span<const uint8_t> data) {
  HeaderChain chain;
  const char* format = md.Format;
  std::memcpy(chain.data_format, format, 8);
  size_t at = 0;
  if (FormatIs(format, MQFMT_MD_EXTENSION)) {
    chain.mde = ReadMde(data, 0);
    if (!chain.mde) return chain;
    chain.flags |= MG_HDR_MDE;
    at = MQMDE_LENGTH_2;
    format = chain.mde->Format;
    std::memcpy(chain.data_format, format, 8);
  }
  if (FormatIs(format, MQFMT_XMIT_Q_HEADER)) {
    chain.xqh = ReadXqh(data, at);
    if (!chain.xqh) {
      chain.header_length = at;
      return chain;
    }
    chain.flags |= MG_HDR_XQH | MG_HDR_XQH_MD;
    chain.xqh_offset = at;
    at += MQXQH_LENGTH_1;
    format = chain.xqh->MsgDesc.Format;
    std::memcpy(chain.data_format, format, 8);
  }
  if (FormatIs(format, MQFMT_DEAD_LETTER_HEADER)) {
    chain.dlh = ReadDlh(data, at);
    if (chain.dlh) {
      chain.flags |= MG_HDR_DLH;
      chain.dlh_offset = at;
      at += MQDLH_LENGTH_1;
      std::memcpy(chain.data_format, chain.dlh->Format, 8);
    }
  }
  chain.header_length = at;
  return chain;
}

}  // namespace msgops
