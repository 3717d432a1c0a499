// Fuzzes the alien-order converter followed by RawToPcf, the path every
// received body takes before anything validates it.
//
// Byte 0 chooses: bit 0 swap, bit 1 convert, bit 2 treat the rest as a
// whole message (136-byte header, then the body) converted through
// AlienToNative and AlienPcfToNative. The rest is the body (or message).
// An indexed message is then read back, printed and dumped.

#include <stdio.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pcfcore/pcfcore.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The printers write to standard output; nobody needs to see it here.
  if (freopen("/dev/null", "w", stdout) == nullptr) return 0;
  return 0;
}

namespace {

void ReadBack(mqPcfMessage* m) {
  if (!RawToPcf(m)) return;
  Message record;
  std::memset(&record, 0, sizeof(record));
  for (MQLONG position = 0; GetAttrByPos(position, &record, m); ++position) {
    PrintPcfAttr(&record);
    char text[300];
    MQLONG value = 0;
    GetPcfStrAttrValue(&record, text, 256);
    GetPcfIntListAttrValue(&record, 0, &value);
    GetPcfStrListAttrValue(&record, 0, text, 256);
  }
  DeleteMessage(&record);
  PrintPcfMessage(m);
  DumpPcfMessage(m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const int flags = data[0];
  const uint8_t* rest = data + 1;
  const size_t length = size - 1;

  if (flags & 4) {
    if (length < MESSAGE_HEADER_LENGTH) return 0;
    mqPcfMessage* m = CreatePcfMessage(0, 1, static_cast<MQLONG>(length));
    if (m == nullptr) return 0;
    std::memcpy(m->Body.Storage, rest, length);
    m->Body.UsedLength = static_cast<MQLONG>(length);
    if (AlienToNative(&m->Body) && AlienPcfToNative(m)) ReadBack(m);
    DeletePcfMessage(m);
    return 0;
  }

  // The converter alone, on a buffer of exactly the input's size so that
  // any read or write past it is caught.
  std::unique_ptr<unsigned char[]> body(new unsigned char[length > 0 ? length : 1]);
  if (length > 0) std::memcpy(body.get(), rest, length);
  if (!AlienPcfBufferToNative(body.get(), flags & 1, flags & 2, 1, static_cast<MQLONG>(length))) {
    return 0;
  }
  mqPcfMessage* m = CreatePcfMessage(0, 1, static_cast<MQLONG>(length));
  if (m == nullptr) return 0;
  if (length > 0) std::memcpy(PCF_BODY(m), body.get(), length);
  m->Body.UsedLength = static_cast<MQLONG>(MESSAGE_HEADER_LENGTH + length);
  ReadBack(m);
  DeletePcfMessage(m);
  return 0;
}
