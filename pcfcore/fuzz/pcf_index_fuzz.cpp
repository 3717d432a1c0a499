// Fuzzes the indexer and the readers over a PCF body taken as received:
// RawToPcf, then every record by position and id, and every accessor on it;
// a lookup by id must give the first record with that id, byte for byte.

#include <cstdint>
#include <cstring>

#include "pcfcore/pcf_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  mqPcfMessage* m = CreatePcfMessage(0, MQCFT_RESPONSE, 0);
  if (m == nullptr) return 0;
  if (!SizePcfMessage(m, static_cast<MQLONG>(size))) {
    DeletePcfMessage(m);
    return 0;
  }
  std::memcpy(m->Body.Payload, data, size);
  m->Body.UsedLength = static_cast<MQLONG>(136 + size);
  if (RawToPcf(m)) {
    Message r{}, byid{}, first{};
    char text[64];
    unsigned char bytes[64];
    for (MQLONG i = 0; i <= m->Cfh->ParameterCount; ++i) {
      if (!GetAttrByPos(i, &r, m)) __builtin_trap();  // indexed records must be readable
      MQLONG v, length = sizeof bytes;
      GetPcfIntAttrValue(&r, &v);
      GetPcfStrAttrValue(&r, text, sizeof text - 1);
      GetPcfBinAttrValue(&r, bytes, &length);
      GetPcfIntListAttrValue(&r, 0, &v);
      GetPcfStrListAttrValue(&r, 1, text, sizeof text - 1);
      mqPcfMessage* nested = CreatePcfMessage(0, 0, 0);
      if (GetPcfPcfAttrValue(&r, nested)) RawToPcf(nested);
      DeletePcfMessage(nested);
      MQLONG id;
      std::memcpy(&id, r.Payload + 8, 4);
      if (i == 0) {
        GetAttrByID(id, &r, m);
        continue;
      }
      // A parameter's id is found, and gives the first record with it.
      if (!GetAttrByID(id, &byid, m)) __builtin_trap();
      for (MQLONG j = 1; j <= i; ++j) {
        if (!GetAttrByPos(j, &first, m)) __builtin_trap();
        if (std::memcmp(first.Payload + 8, &id, 4) != 0) continue;
        if (first.UsedLength != byid.UsedLength ||
            std::memcmp(first.Payload, byid.Payload, static_cast<size_t>(first.UsedLength - 136)) != 0) {
          __builtin_trap();
        }
        break;
      }
    }
    DeleteMessage(&r);
    DeleteMessage(&byid);
    DeleteMessage(&first);
  }
  DeletePcfMessage(m);
  return 0;
}
